// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

/// Showing a file in the desktop's file manager.
namespace Reveal {

/// Asks the file manager (D-Bus org.freedesktop.FileManager1.ShowItems) to open a window with
/// `filePath` selected; when no file manager answers, opens the file's folder instead.
/// Returns at once: the D-Bus call is asynchronous and the fallback runs when it fails.
/// UI thread only. Failure of both is silent.
void inFileManager(const QString& filePath);

} // namespace Reveal
