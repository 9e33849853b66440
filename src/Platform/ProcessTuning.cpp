// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ProcessTuning.h"

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace ProcessTuning {

void keepLargeAllocationsForReuse() {
#if defined(__GLIBC__)
    // Blocks below 256 MiB come from the heap, and up to 256 MiB of free heap is kept.
    constexpr int kBytes = 256 << 20;
    mallopt(M_MMAP_THRESHOLD, kBytes);
    mallopt(M_TRIM_THRESHOLD, kBytes);
#endif
}

} // namespace ProcessTuning
