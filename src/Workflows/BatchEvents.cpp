// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/BatchEvents.h"

void forEachFile(std::size_t fileCount, const std::stop_token& stop, const BatchEvents& events,
                 const SkipQuery& skipped, const std::function<bool(std::size_t file)>& step) {
    const auto emit = [&](BatchEvent::Kind kind, std::size_t file) {
        if (events) {
            events({kind, file, fileCount, 0, 0});
        }
    };
    for (std::size_t file = 0; file < fileCount && !stop.stop_requested(); ++file) {
        if (skipped && skipped(file)) {
            continue;
        }
        emit(BatchEvent::Kind::fileStarted, file);
        if (!step(file)) {
            return;
        }
        emit(BatchEvent::Kind::fileFinished, file);
    }
}
