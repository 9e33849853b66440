// SPDX-License-Identifier: GPL-3.0-or-later
// The application shell: tabs, minimum size, menus, and windows sharing one history.
#include "App/MainWindow.h"
#include "App/ParvoApp.h"
#include "App/UpdaterController.h"
#include "Views/CompressView.h"
#include "Views/FileListView.h"
#include "Views/FilePicker.h"
#include "Views/HistoryView.h"
#include "Views/OCRView.h"
#include "Views/PDFToolsView.h"

#include <QAccessible>
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>
#include <filesystem>
#include <memory>
#include <optional>

namespace {

HistoryEntry entry(const std::string& input) {
    HistoryEntry e;
    e.mode = "Compress";
    e.input = input;
    return e;
}

QAction* actionLabelled(QWidget& window, const QString& text) {
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

QMenu* menuLabelled(QMainWindow& window, const QString& text) {
    for (QAction* action : window.menuBar()->actions()) {
        if (action->text() == text) {
            return action->menu();
        }
    }
    return nullptr;
}

QString countShownBy(MainWindow& window) {
    auto* history = qobject_cast<HistoryView*>(window.tabs()->widget(3));
    auto* count = history ? history->findChild<QLabel*>(QStringLiteral("historyCount")) : nullptr;
    return count && !count->isHidden() ? count->text() : QString();
}

} // namespace

class MainWindowTests : public QObject {
    Q_OBJECT

private slots:
    void tabsInOrderOpeningOnCompress();
    void contentNeverSmallerThanMinimum();
    void menusInPlace();
    void updateItemFollowsUpdater();
    void newWindowHasOwnScreensAndSharesHistory();
    void quittingDuringBatchKeepsFinishedRows();
    void everyControlHasAnAccessibleName();
    void wholeFlowFromTheKeyboard();
};

void MainWindowTests::tabsInOrderOpeningOnCompress() {
    ParvoApp app({}, new UpdaterController(QUrl(), QStringLiteral("1.0")));
    MainWindow* window = app.openWindow();
    QTabWidget* tabs = window->tabs();
    QCOMPARE(tabs->count(), 4);
    const QStringList labels = {"Compress", "PDF Tools", "OCR", "History"};
    for (int i = 0; i < tabs->count(); ++i) {
        QCOMPARE(tabs->tabText(i), labels[i]);
        QVERIFY2(!tabs->tabIcon(i).pixmap(16, 16).isNull(), qPrintable(labels[i]));
    }
    QVERIFY(qobject_cast<CompressView*>(tabs->widget(0)));
    QVERIFY(qobject_cast<PDFToolsView*>(tabs->widget(1)));
    QVERIFY(qobject_cast<OCRView*>(tabs->widget(2)));
    QVERIFY(qobject_cast<HistoryView*>(tabs->widget(3)));
    QCOMPARE(tabs->currentIndex(), 0);
}

void MainWindowTests::contentNeverSmallerThanMinimum() {
    ParvoApp app({}, new UpdaterController(QUrl(), QStringLiteral("1.0")));
    MainWindow* window = app.openWindow();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    window->resize(300, 200);
    QCoreApplication::processEvents();
    QVERIFY2(window->tabs()->width() >= 760, qPrintable(QString::number(window->tabs()->width())));
    QVERIFY2(window->tabs()->height() >= 520,
             qPrintable(QString::number(window->tabs()->height())));
    window->resize(1400, 900); // no maximum
    QCoreApplication::processEvents();
    QCOMPARE(window->size(), QSize(1400, 900));

    // While a batch runs the Compress header holds Stop and the working label as well: the
    // window still goes down to its minimum.
    auto* compress = qobject_cast<CompressView*>(window->tabs()->widget(0));
    QSemaphore gate;
    compress->setCompressor([&gate](const std::filesystem::path&, SizeTarget) {
        gate.acquire();
        return std::optional<Bytes>();
    });
    QTemporaryDir folder;
    QFile file(folder.filePath(QStringLiteral("a.jpg")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(100, 'x'));
    file.close();
    compress->batch().append(
        {CompressWorkflow::Job{Uuid::random(), file.fileName().toStdString(),
                               folder.filePath("a-small.jpg").toStdString(), std::nullopt}});
    compress->compress();
    QVERIFY(compress->batch().working());
    window->resize(300, 200);
    QCoreApplication::processEvents();
    const int header =
        compress->findChild<QWidget*>(QStringLiteral("header"))->minimumSizeHint().width();
    gate.release();
    QVERIFY2(header <= 760, qPrintable(QString::number(header)));
    QTRY_VERIFY(!compress->batch().working());
}

void MainWindowTests::menusInPlace() {
    ParvoApp app({}, new UpdaterController(QUrl(), QStringLiteral("1.0")));
    MainWindow* window = app.openWindow();
    QMenu* file = menuLabelled(*window, QStringLiteral("&File"));
    QMenu* help = menuLabelled(*window, QStringLiteral("&Help"));
    QVERIFY(file && help);
    QStringList fileItems;
    for (QAction* action : file->actions()) {
        if (!action->isSeparator()) {
            fileItems << action->text();
        }
    }
    QCOMPARE(fileItems, QStringList({"New Window", "Add Files\u2026", "Close Window", "Quit"}));
    QCOMPARE(file->actions().first()->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
    QCOMPARE(help->actions().size(), 2);
    QCOMPARE(help->actions().at(0)->text(), QStringLiteral("About Parvo"));
    QCOMPARE(help->actions().at(1)->text(), QStringLiteral("Check for Updates\u2026"));
}

void MainWindowTests::updateItemFollowsUpdater() {
    // Without a feed the item is disabled; with one it is enabled when the menu is built.
    for (const bool withFeed : {false, true}) {
        const QUrl feed = withFeed ? QUrl(QStringLiteral("http://127.0.0.1:9/feed.xml")) : QUrl();
        ParvoApp app({}, new UpdaterController(feed, QStringLiteral("1.0")));
        MainWindow* window = app.openWindow();
        QMenu* help = menuLabelled(*window, QStringLiteral("&Help"));
        window->checkForUpdatesAction()->setEnabled(!withFeed);
        emit help->aboutToShow();
        QCOMPARE(window->checkForUpdatesAction()->isEnabled(), withFeed);
    }
}

void MainWindowTests::newWindowHasOwnScreensAndSharesHistory() {
    ParvoApp app({}, new UpdaterController(QUrl(), QStringLiteral("1.0")));
    MainWindow* first = app.openWindow();
    QAction* newWindow = actionLabelled(*first, QStringLiteral("New Window"));
    QVERIFY(newWindow);
    newWindow->trigger();
    QCOMPARE(app.windows().size(), 2);
    MainWindow* second = app.windows().at(1);
    QVERIFY(second != first);
    QCOMPARE(second->tabs()->currentIndex(), 0);
    QVERIFY(second->tabs()->widget(0) != first->tabs()->widget(0));

    first->tabs()->setCurrentIndex(3);
    app.history().recordBatch({entry("a.png"), entry("b.pdf")});
    QCOMPARE(countShownBy(*first), QStringLiteral("2"));
    QCOMPARE(countShownBy(*second), QStringLiteral("2"));

    QVERIFY(second->close());
    QTRY_COMPARE(app.windows().size(), 1);
    app.history().recordBatch({entry("c.png")});
    QCOMPARE(countShownBy(*first), QStringLiteral("3"));
}

void MainWindowTests::quittingDuringBatchKeepsFinishedRows() {
    QTemporaryDir folder;
    QList<QUrl> urls;
    for (const char* name : {"one.jpg", "two.jpg", "three.jpg"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'x'));
        urls << QUrl::fromLocalFile(file.fileName());
    }
    const std::filesystem::path historyFile = folder.filePath("history.json").toStdString();
    auto app = std::make_unique<ParvoApp>(historyFile,
                                          new UpdaterController(QUrl(), QStringLiteral("1.0")));
    auto* compress = qobject_cast<CompressView*>(app->openWindow()->tabs()->widget(0));
    compress->setCompressor([](const std::filesystem::path&, SizeTarget) {
        QThread::msleep(400);
        return std::optional<Bytes>(Bytes(100, 0xff));
    });
    QMimeData drop;
    drop.setUrls(urls);
    compress->handleDrop(drop);
    QTRY_COMPARE(compress->batch().queueSize(), size_t(3));
    compress->compress();
    const auto outputs = [&folder] {
        return QDir(folder.path()).entryList({"*-small.jpg"}, QDir::Files).size();
    };
    QTRY_VERIFY_WITH_TIMEOUT(outputs() >= 1, 10000);
    QTest::qWait(100); // the second file is in progress

    app.reset(); // closes the window and waits for the batch, as quitting does

    // The batch stopped after the file in progress (exactly when it was asked is up to the
    // scheduler), and every file finished before that is in the history.
    const HistoryStore reread(historyFile);
    const qsizetype recorded = qsizetype(reread.entries().size());
    QVERIFY2(recorded >= 1 && recorded <= 2, qPrintable(QString::number(recorded)));
    QCOMPARE(outputs(), recorded);
    for (const HistoryEntry& entry : reread.entries()) {
        QVERIFY(entry.outputPath && std::filesystem::file_size(*entry.outputPath) == 100);
    }
    // Sources, two outputs and the history: nothing half-written is left beside them.
    QCOMPARE(QDir(folder.path()).entryList(QDir::Files).size(), 3 + recorded + 1);
}

// What a screen reader is told: a name for every control that takes the focus, a
// description for every symbol, and the PDF Tools controls that have no visible label.
void MainWindowTests::everyControlHasAnAccessibleName() {
    ParvoApp app({}, new UpdaterController(QUrl(), QStringLiteral("1.0")));
    MainWindow* window = app.openWindow();
    for (int tab = 0; tab < window->tabs()->count(); ++tab) {
        window->tabs()->setCurrentIndex(tab);
        QWidget* screen = window->tabs()->widget(tab);
        for (QWidget* widget : screen->findChildren<QWidget*>()) {
            QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
            const QString name = accessible ? accessible->text(QAccessible::Name) : QString();
            const QString what = window->tabs()->tabText(tab) + QLatin1Char('/') +
                                 widget->metaObject()->className() + QLatin1Char(' ') +
                                 widget->objectName();
            // A spin box's line edit hands its focus to the spin box, which a reader names.
            const bool proxy = widget->focusProxy() != nullptr;
            if (widget->focusPolicy() & Qt::TabFocus && !proxy) {
                QVERIFY2(!name.isEmpty(), qPrintable(what));
            }
            if (widget->property("symbol").isValid()) {
                QVERIFY2(!accessible->text(QAccessible::Description).isEmpty(), qPrintable(what));
            }
        }
    }
    auto* pdfTools = window->tabs()->widget(1);
    QCOMPARE(pdfTools->findChild<QSpinBox*>()->accessibleName(), QStringLiteral("Pages per chunk"));
    QCOMPARE(pdfTools->findChild<QLineEdit*>()->accessibleName(), QStringLiteral("Page range"));
}

// Add, remove, run, reveal and switch tabs without touching the mouse.
void MainWindowTests::wholeFlowFromTheKeyboard() {
    QTemporaryDir folder;
    QStringList files;
    for (const char* name : {"one.png", "two.png", "three.png"}) {
        QFile file(folder.filePath(QString::fromLatin1(name)));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(5000, 'x'));
        files << file.fileName();
    }
    ParvoApp app({}, new UpdaterController(QUrl(), QStringLiteral("1.0")));
    MainWindow* window = app.openWindow();
    QApplication::setActiveWindow(window);
    QVERIFY(QTest::qWaitForWindowActive(window));
    auto* compress = qobject_cast<CompressView*>(window->tabs()->widget(0));
    compress->setCompressor([](const std::filesystem::path&, SizeTarget) {
        return std::optional<Bytes>(Bytes(100, 0xff));
    });
    compress->picker().setChooser(
        [&files](QWidget*, FilePicker::Kind, const QString&) { return files; });

    QTest::keyClick(window, Qt::Key_O, Qt::ControlModifier); // File › Add Files…
    QTRY_COMPARE(compress->batch().queueSize(), std::size_t{3});
    FileListView& list = compress->list();
    for (int presses = 0; presses < 20 && !list.hasFocus(); ++presses) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QVERIFY(list.hasFocus());
    QTest::keyClick(&list, Qt::Key_End);
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(compress->batch().queueSize(), std::size_t{2});

    QTest::keyClick(&list, Qt::Key_Return, Qt::ControlModifier);
    QTRY_VERIFY(!compress->batch().working() && compress->batch().done().size() == 2);
    QSignalSpy reveals(&list, &FileListView::revealRequested);
    QObject::disconnect(&list, &FileListView::revealRequested, compress, nullptr);
    QTest::keyClick(&list, Qt::Key_End);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(reveals.count(), 1);

    QTest::keyClick(&list, Qt::Key_Tab, Qt::ControlModifier);
    QCOMPARE(window->tabs()->currentIndex(), 1);
    QVERIFY(window->addFilesAction()->isEnabled());
    window->tabs()->setCurrentIndex(3);
    QVERIFY(!window->addFilesAction()->isEnabled());
    QCOMPARE(countShownBy(*window), QStringLiteral("2"));
}

QTEST_MAIN(MainWindowTests)
#include "MainWindowTests.moc"
