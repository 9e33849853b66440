// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/AddressSpace.h"

#include <atomic>
#include <fstream>
#include <string>
#include <sys/resource.h>

namespace AddressSpace {

std::uint64_t peakBytes() {
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmPeak:") {
            std::uint64_t kilobytes = 0;
            status >> kilobytes;
            return kilobytes * 1024;
        }
        status.ignore(4096, '\n');
    }
    return 0;
}

std::uint64_t limitBytes() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return 0;
    return limit.rlim_cur;
}

namespace {
std::atomic<std::uint64_t> s_refusals{0};
} // namespace

void noteRefusedAllocation() {
    s_refusals.fetch_add(1, std::memory_order_relaxed);
}

std::uint64_t refusedAllocations() {
    return s_refusals.load(std::memory_order_relaxed);
}

bool saysOutOfMemory(std::string_view message) {
    for (const std::string_view words : {"out of memory", "Out of memory", "unable to allocate"}) {
        if (message.find(words) != std::string_view::npos)
            return true;
    }
    return false;
}

bool reachedLimitSince(std::uint64_t peakBefore) {
    const std::uint64_t limit = limitBytes();
    const std::uint64_t peak = peakBytes();
    return limit != 0 && peak > peakBefore && peak >= limit - limit / 10;
}

} // namespace AddressSpace
