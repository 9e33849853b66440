// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

/// Calls work(index, worker) for every index in [0, count), on up to `threads` threads (with
/// one, on the calling thread), through runOrdered. Each worker number in [0, threads) is used
/// by one thread only, so per-worker state indexed by it needs no lock. Indices are handed out
/// in order; which worker gets which index is not fixed, so results must not depend on it.
/// Returns when every index is done. `work` must not throw.
void parallelFor(int count, int threads, const std::function<void(int index, int worker)>& work);
