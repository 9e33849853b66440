// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/MainWindow.h"

#include "App/UpdaterController.h"
#include "Desktop/Icons.h"
#include "Views/CompressView.h"
#include "Views/HistoryView.h"
#include "Views/OCRView.h"
#include "Views/PDFToolsView.h"
#include "Workflows/EngineWorkers.h"

#include <QAction>
#include <QApplication>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QTabWidget>
#include <optional>

namespace {

// Files run in sandboxed worker processes, so that a hostile file costs its row rather than
// the window and a stop is immediate. Nothing runs unconfined: when the worker program cannot
// be run, every file's row says so.
std::optional<WorkerSettings> engineWorkers() {
    return besideThisProgram();
}

} // namespace

MainWindow::MainWindow(HistoryStore& history, UpdaterController& updater, QWidget* parent)
    : QMainWindow(parent), m_updater(updater) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Parvo"));
    buildTabs(history);
    buildFileMenu();
    buildHelpMenu();
    resize(kMinimumContentSize.width() + 140, kMinimumContentSize.height() + 120);
}

void MainWindow::buildTabs(HistoryStore& history) {
    m_tabs = new QTabWidget(this);
    m_tabs->setDocumentMode(true);
    const std::optional<WorkerSettings> workers = engineWorkers();
    auto* compress = new CompressView(history);
    compress->setWorkers(workers);
    addScreen(compress, QStringLiteral("doc.zipper"), tr("Compress"),
              [compress] { compress->addFiles(); });
    auto* pdfTools = new PDFToolsView(history);
    pdfTools->setWorkers(workers);
    addScreen(pdfTools, QStringLiteral("doc.on.doc"), tr("PDF Tools"),
              [pdfTools] { pdfTools->addFiles(); });
    auto* ocr = new OCRView(history);
    ocr->setWorkers(workers);
    addScreen(ocr, QStringLiteral("text.viewfinder"), tr("OCR"), [ocr] { ocr->addFiles(); });
    addScreen(new HistoryView(history), QStringLiteral("clock.arrow.circlepath"), tr("History"),
              {});
    m_tabs->setCurrentIndex(0);
    // The minimum belongs to the content: the menu bar comes on top of it.
    m_tabs->setMinimumSize(kMinimumContentSize);
    setCentralWidget(m_tabs);
}

void MainWindow::openTab(Launch::Tab tab, const QList<QUrl>& files) {
    // The tabs' order, as built above.
    const int index = tab == Launch::Tab::compress ? 0 : tab == Launch::Tab::pdfTools ? 1 : 2;
    m_tabs->setCurrentIndex(index);
    if (files.isEmpty()) {
        return;
    }
    QMimeData dropped;
    dropped.setUrls(files);
    if (auto* compress = qobject_cast<CompressView*>(m_tabs->widget(index))) {
        compress->handleDrop(dropped);
    } else if (auto* screen = qobject_cast<FileQueueScreen*>(m_tabs->widget(index))) {
        screen->handleDrop(dropped);
    }
}

void MainWindow::addScreen(QWidget* screen, const QString& symbol, const QString& label,
                           std::function<void()> addFiles) {
    m_tabs->addTab(screen, Icons::symbol(symbol), label);
    m_addFilesByTab.push_back(std::move(addFiles));
}

void MainWindow::addFilesToShownScreen() {
    const int shown = m_tabs->currentIndex();
    if (shown >= 0 && m_addFilesByTab.at(static_cast<std::size_t>(shown))) {
        m_addFilesByTab[static_cast<std::size_t>(shown)]();
    }
}

void MainWindow::buildFileMenu() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* newWindow = file->addAction(tr("New Window"));
    newWindow->setShortcut(QKeySequence::New);
    connect(newWindow, &QAction::triggered, this, &MainWindow::newWindowRequested);
    m_addFiles = file->addAction(tr("Add Files\u2026"));
    m_addFiles->setShortcut(QKeySequence::Open);
    connect(m_addFiles, &QAction::triggered, this, &MainWindow::addFilesToShownScreen);
    const auto followTab = [this](int shown) {
        m_addFiles->setEnabled(
            shown >= 0 && static_cast<bool>(m_addFilesByTab.at(static_cast<std::size_t>(shown))));
    };
    connect(m_tabs, &QTabWidget::currentChanged, this, followTab);
    followTab(m_tabs->currentIndex());
    file->addSeparator();
    QAction* close = file->addAction(tr("Close Window"));
    close->setShortcut(QKeySequence::Close);
    connect(close, &QAction::triggered, this, &QWidget::close);
    file->addSeparator();
    QAction* quit = file->addAction(tr("Quit"));
    quit->setShortcut(QKeySequence::Quit);
    quit->setMenuRole(QAction::QuitRole);
    connect(quit, &QAction::triggered, this, &MainWindow::quitRequested);
}

void MainWindow::buildHelpMenu() {
    QMenu* help = menuBar()->addMenu(tr("&Help"));
    QAction* about = help->addAction(tr("About Parvo"));
    about->setMenuRole(QAction::AboutRole);
    connect(about, &QAction::triggered, this, &MainWindow::showAbout);
    m_checkForUpdates = help->addAction(tr("Check for Updates…"));
    m_checkForUpdates->setMenuRole(QAction::ApplicationSpecificRole);
    connect(m_checkForUpdates, &QAction::triggered, &m_updater,
            &UpdaterController::checkForUpdates);
    // The updater publishes no changes: its state is read whenever the menu is about to show.
    connect(help, &QMenu::aboutToShow, this,
            [this] { m_checkForUpdates->setEnabled(m_updater.canCheckForUpdates()); });
    m_checkForUpdates->setEnabled(m_updater.canCheckForUpdates());
}

void MainWindow::showAbout() {
    QMessageBox::about(
        this, tr("About Parvo"),
        //: %1 is the version number.
        tr("<h3>Parvo %1</h3><p>Makes images and PDFs smaller, splits and merges "
           "PDFs, and makes scans searchable — entirely on your computer.</p>"
           "<p>Licensed under the GNU General Public License, version 3 or later.</p>")
            .arg(QStringLiteral(PARVO_VERSION)));
}
