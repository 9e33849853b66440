// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/ParallelFor.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>
#include <vector>

void parallelFor(int count, int threads, const std::function<void(int index, int worker)>& work) {
    std::atomic<int> next{0};
    auto drain = [&](int worker) {
        for (int index = next++; index < count; index = next++)
            work(index, worker);
    };
    std::vector<std::thread> helpers;
    const int helperCount = std::clamp(std::min(threads, count) - 1, 0, 64);
    for (int worker = 1; worker <= helperCount; ++worker) {
        try {
            helpers.emplace_back(drain, worker);
        } catch (const std::system_error&) {
            break; // fewer threads than asked: the others share the work
        }
    }
    drain(0);
    for (auto& helper : helpers)
        helper.join();
}
