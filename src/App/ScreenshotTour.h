// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class HistoryStore;
class MainWindow;

/// Photographs a window for review (scripts/screenshots): drops generated inputs on the
/// working tabs and runs one batch on each in turn (photos compressed, a PDF split, a scan made
/// searchable), queues one more file on PDF Tools and OCR so that their lists show both parts,
/// then saves one PNG per tab into `folder` (created if needed) and quits the application with
/// status 0, or 1 when the batches did not finish within two minutes or a file could not be
/// written. The generated inputs live in a temporary folder removed at the end. UI thread;
/// needs a running event loop.
namespace ScreenshotTour {

void start(MainWindow& window, HistoryStore& history, const QString& folder);

} // namespace ScreenshotTour
