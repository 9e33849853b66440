// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string_view>

/// How much address space this process has used and may use, to tell a step that failed
/// because an allocation was refused under the worker's limit from one that failed on its
/// file: libraries written in C report a refused allocation as any other failure.
namespace AddressSpace {

/// The most address space the process has held at once (VmPeak), in bytes; 0 when unknown.
std::uint64_t peakBytes();

/// The process's address-space limit (RLIMIT_AS) in bytes; 0 when there is none.
std::uint64_t limitBytes();

/// Counts an allocation a library refused (seen as its "out of memory" error). Thread-safe.
void noteRefusedAllocation();
/// How many refused allocations were counted so far.
std::uint64_t refusedAllocations();
/// Whether a library error message says an allocation was refused.
bool saysOutOfMemory(std::string_view message);

/// Whether the peak rose above `peakBefore` to within a tenth of the limit: a step run since
/// `peakBefore` was read then most likely had an allocation refused.
bool reachedLimitSince(std::uint64_t peakBefore);

} // namespace AddressSpace
