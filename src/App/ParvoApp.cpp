// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/ParvoApp.h"

#include "App/MainWindow.h"
#include "History/HistoryLocation.h"
#include "Views/BatchController.h"

#include <QApplication>
#include <utility>

ParvoApp::ParvoApp() : ParvoApp(HistoryLocation::defaultFile(), new UpdaterController()) {}

ParvoApp::ParvoApp(const std::filesystem::path& historyFile, UpdaterController* updater)
    : m_history(historyFile), m_updater(updater) {
    m_updater->setParent(this);
    // Covers every way out of the event loop: the Quit command, the last window closed, a
    // session ending.
    connect(qApp, &QCoreApplication::aboutToQuit, this, &ParvoApp::finishBatches);
}

ParvoApp::~ParvoApp() {
    for (const QPointer<MainWindow>& window : std::as_const(m_windows)) {
        delete window.data();
    }
    // Batches of windows closed without a quit still hold the store: let them finish first.
    finishBatches();
}

MainWindow* ParvoApp::openWindow() {
    auto* window = new MainWindow(m_history, *m_updater);
    connect(window, &MainWindow::newWindowRequested, this, &ParvoApp::openWindow);
    connect(window, &MainWindow::quitRequested, this, &ParvoApp::quit);
    m_windows.removeAll(nullptr);
    m_windows.append(window);
    window->show();
    return window;
}

MainWindow* ParvoApp::activate() {
    const QList<MainWindow*> open = windows();
    auto* window = qobject_cast<MainWindow*>(QApplication::activeWindow());
    if (window == nullptr) {
        window = open.isEmpty() ? openWindow() : open.back();
    }
    window->setWindowState(window->windowState() & ~Qt::WindowMinimized);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

void ParvoApp::openFiles(Launch::Tab tab, const QList<QUrl>& files) {
    activate()->openTab(tab, files);
}

QList<MainWindow*> ParvoApp::windows() const {
    QList<MainWindow*> open;
    for (const QPointer<MainWindow>& window : m_windows) {
        if (window) {
            open.append(window);
        }
    }
    return open;
}

void ParvoApp::quit() {
    // Closing destroys the screens, which stops their batches (at once where files run in
    // workers, otherwise after the file in progress); finishBatches() then waits for them as
    // the loop ends and records their finished rows.
    QApplication::closeAllWindows();
    QCoreApplication::quit();
}

void ParvoApp::finishBatches() {
    BatchControllerBase::waitForAll();
}
