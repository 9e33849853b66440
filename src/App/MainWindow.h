// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Cli/Launch.h"

#include <QList>
#include <QMainWindow>
#include <QUrl>
#include <functional>
#include <vector>

class HistoryStore;
class QAction;
class QTabWidget;
class UpdaterController;

/// One Parvo window: the four screens in tabs (Compress, PDF Tools, OCR, History), opening on
/// Compress, with the File and Help menus. File › Add Files… (Ctrl+O) opens the file dialog of
/// the working screen shown, and is disabled on History. Each window has its own screens; the
/// history store and the updater are shared and must outlive the window. Deletes itself when
/// closed. UI thread only.
class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr QSize kMinimumContentSize{760, 520};

    MainWindow(HistoryStore& history, UpdaterController& updater, QWidget* parent = nullptr);

    QTabWidget* tabs() const { return m_tabs; }
    /// Shows `tab` and hands it `files` (file URLs) as a drop of them would.
    void openTab(Launch::Tab tab, const QList<QUrl>& files);
    QAction* checkForUpdatesAction() const { return m_checkForUpdates; }
    QAction* addFilesAction() const { return m_addFiles; }

signals:
    /// File ▸ New Window: the application opens another window.
    void newWindowRequested();
    /// File ▸ Quit.
    void quitRequested();

private:
    void buildTabs(HistoryStore& history);
    void addScreen(QWidget* screen, const QString& symbol, const QString& label,
                   std::function<void()> addFiles);
    void addFilesToShownScreen();
    void buildFileMenu();
    void buildHelpMenu();
    void showAbout();

    UpdaterController& m_updater;
    QTabWidget* m_tabs = nullptr;
    QAction* m_checkForUpdates = nullptr;
    QAction* m_addFiles = nullptr;
    std::vector<std::function<void()>> m_addFilesByTab; // empty where a tab takes no files
};
