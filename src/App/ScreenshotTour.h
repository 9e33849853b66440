// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class HistoryStore;
class MainWindow;

/// Photographs a window for review (scripts/screenshots): drops a few generated photos on the
/// Compress tab, runs the batch, then saves one PNG per tab into `folder` (created if needed)
/// and quits the application with status 0, or 1 when the batch did not finish within a
/// minute or a file could not be written. The generated inputs live in a temporary folder
/// removed at the end. UI thread; needs a running event loop.
namespace ScreenshotTour {

void start(MainWindow& window, HistoryStore& history, const QString& folder);

} // namespace ScreenshotTour
