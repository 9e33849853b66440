// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "App/UpdaterController.h"
#include "Cli/Launch.h"
#include "History/HistoryStore.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <filesystem>

class MainWindow;

/// The application: owns the one history store and the one updater for the whole run, opens
/// windows (each with its own four screens, all sharing both), and on quitting stops every
/// running batch after its file in progress and waits for it, so its finished rows reach the
/// history before the store goes away.
///
/// Needs a QApplication; UI thread only. Destroy it after QApplication::exec() returns.
class ParvoApp : public QObject {
    Q_OBJECT
public:
    /// The history at its default location and the updater with the build's feed.
    ParvoApp();
    /// For tests: `historyFile` empty keeps the history in memory.
    ParvoApp(const std::filesystem::path& historyFile, UpdaterController* updater);
    ~ParvoApp() override;

    /// Opens and shows a new window.
    MainWindow* openWindow();
    /// Raises the front window (the active one, else the one opened last), opening a window
    /// when none is open.
    MainWindow* activate();
    /// Activates a window and shows `tab` there with `files` (file URLs) queued on it as if
    /// dropped.
    void openFiles(Launch::Tab tab, const QList<QUrl>& files);

    HistoryStore& history() { return m_history; }
    UpdaterController& updater() { return *m_updater; }
    /// The windows still open.
    QList<MainWindow*> windows() const;

    /// Closes every window, lets running batches stop and finish, and quits the event loop.
    void quit();

private:
    void finishBatches();

    HistoryStore m_history;
    UpdaterController* m_updater;
    QList<QPointer<MainWindow>> m_windows;
};
