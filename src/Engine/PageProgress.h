// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

/// Told by an engine step each time a page of the file it works on is finished: pages done so
/// far and the file's page count (done ≤ count; count is what the step knows at that moment).
/// Called in page order on the thread that called the step, never concurrently; an empty
/// function is never called. It must return quickly: the step waits for it.
using PageProgress = std::function<void(int pagesDone, int pageCount)>;
