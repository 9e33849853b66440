// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/ParallelFor.h"

#include "Engine/OrderedPipeline.h"

#include <algorithm>

// One way to run pages and probes side by side: an ordered run whose results are only flags
// and which may run ahead without limit.
void parallelFor(int count, int threads, const std::function<void(int index, int worker)>& work) {
    const std::function<bool(int, int)> make = [&work](int index, int worker) {
        work(index, worker);
        return true;
    };
    const std::function<bool(int, bool&&)> take = [](int, bool&&) { return true; };
    runOrdered<bool>(count, std::clamp(threads, 1, kMaxWorkers), std::max(count, 1), {}, make,
                     take);
}
