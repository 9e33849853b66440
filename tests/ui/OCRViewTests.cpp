// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryStore.h"
#include "ShownRows.h"
#include "Views/DropHandler.h"
#include "Views/DropHint.h"
#include "Views/OCRView.h"
#include "Workflows/EngineWorkers.h"
#include "support/Corpus.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"
#include "support/TextPages.h"
#include "support/WorkerProgram.h"

#include <QApplication>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSemaphore>
#include <QSet>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const Bytes kFakePdf = {'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n'};

QUrl urlOf(const fs::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

// Drags `urls` onto the view and drops them the way the window system does, then waits until
// every URL has been resolved.
void drop(OCRView& view, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
    QVERIFY(event.isAccepted());
    QTRY_COMPARE(view.drops().pending(), 0);
}

QStringList queuedNames(OCRView& view) {
    return ShownRows::queuedNames(view.list());
}

// A builder that needs no recogniser: a document for every file except those named "broken…".
OCRWorkflow::Builder fakeBuilder(std::atomic<int>& calls) {
    return [&calls](const fs::path& source, auto&&...) -> std::optional<Bytes> {
        ++calls;
        if (source.filename().string().starts_with("broken")) {
            return std::nullopt;
        }
        return kFakePdf;
    };
}

// As fakeBuilder, but each file waits until the gate is opened once for it.
OCRWorkflow::Builder gatedBuilder(QSemaphore& gate, std::atomic<int>& calls) {
    return [&gate, &calls](const fs::path&, auto&&...) -> std::optional<Bytes> {
        gate.acquire();
        ++calls;
        return kFakePdf;
    };
}

// Declared after the view: however a test ends, its batch is let through and finished while
// the history store is still alive.
struct Settle {
    QSemaphore* gate = nullptr;
    ~Settle() {
        if (gate) {
            gate->release(1000);
        }
        BatchControllerBase::waitForAll();
    }
};

void makeActive(QWidget& view) {
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
}

} // namespace

class OCRViewTests : public QObject {
    Q_OBJECT

private slots:
    void startsEmptyWithItsTexts();
    void dropsQueueAcceptedFilesOnce_data();
    void dropsQueueAcceptedFilesOnce();
    void hoveringDragShowsTheHint();
    void runListsRowsAndRecordsHistory();
    void workingStateAndDropDuringRun();
    void unwritableOutputSaysCouldntSave_data();
    void unwritableOutputSaysCouldntSave();
    void aHangingFileInAWorkerCostsOnlyItsRow();
};

void OCRViewTests::startsEmptyWithItsTexts() {
    HistoryStore store{fs::path{}};
    OCRView view(store);
    QVERIFY(view.showsEmptyState());
    QCOMPARE(view.runButton().text(), QStringLiteral("Run OCR"));
    QVERIFY(!view.runButton().isEnabled());
    auto* header = view.findChild<QWidget*>(QStringLiteral("header"));
    QCOMPARE(header->findChild<QLabel*>(QStringLiteral("headline"))->text(),
             QStringLiteral("Make searchable"));
    QCOMPARE(header->findChildren<QLabel*>().first()->property("symbol").toString(),
             QStringLiteral("text.viewfinder"));
    QCOMPARE(view.findChild<QLabel*>(QStringLiteral("title"))->text(),
             QStringLiteral("Drop scans or image PDFs"));
    const QString text = view.findChild<QLabel*>(QStringLiteral("text"))->text();
    QVERIFY(
        text.startsWith(QStringLiteral("Parvo adds an invisible, searchable text layer \u2014")));
#ifndef Q_OS_MACOS
    QVERIFY(text.endsWith(QStringLiteral("findable. On your computer.")));
#endif
    QCOMPARE(view.findChild<DropHint*>()->text(),
             QStringLiteral("Drop scans or PDFs to make searchable"));

    // Ctrl+Return with nothing queued starts nothing.
    std::atomic<int> calls = 0;
    view.setBuilder(fakeBuilder(calls));
    makeActive(view);
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(!view.batch().working());
    QCOMPARE(BatchControllerBase::runningCount(), std::size_t{0});
}

// Each case: files to create (a trailing '/' makes a folder), the names dropped (each twice,
// in one drop), and the names queued.
void OCRViewTests::dropsQueueAcceptedFilesOnce_data() {
    QTest::addColumn<QStringList>("create");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("queued");
    const QStringList every = {"a.png",  "b.jpg",  "c.jpeg", "d.heic",
                               "e.heif", "f.tiff", "g.gif",  "h.pdf"};
    QTest::newRow("every accepted extension") << every << every << every;
    QTest::newRow("extension compared lower-cased")
        << QStringList{"scan.TIFF", "Photo.JPG", "Report.Pdf"}
        << QStringList{"scan.TIFF", "Photo.JPG", "Report.Pdf"}
        << QStringList{"scan.TIFF", "Photo.JPG", "Report.Pdf"};
    QTest::newRow("tif and txt ignored")
        << QStringList{"scan.tif", "notes.txt", "ok.gif"}
        << QStringList{"scan.tif", "notes.txt", "ok.gif"} << QStringList{"ok.gif"};
    QTest::newRow("folders are not searched")
        << QStringList{"scans/a.png", "folder.pdf/b.png"} << QStringList{"scans", "folder.pdf"}
        << QStringList{};
    QTest::newRow("last extension counts")
        << QStringList{"a.png.txt", "b.txt.png"} << QStringList{"a.png.txt", "b.txt.png"}
        << QStringList{"b.txt.png"};
}

void OCRViewTests::dropsQueueAcceptedFilesOnce() {
    QFETCH(QStringList, create);
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, queued);
    Synth::TempDir dir;
    for (const QString& name : create) {
        fs::create_directories((dir / name.toStdString()).parent_path());
        Synth::writeFile(dir / name.toStdString(), kFakePdf);
    }
    QList<QUrl> urls;
    for (const QString& name : dropped) {
        urls << urlOf(dir / name.toStdString()) << urlOf(dir / name.toStdString());
    }
    urls << QUrl(QStringLiteral("https://example.org/scan.png"));
    HistoryStore store{fs::path{}};
    OCRView view(store);
    drop(view, urls);
    drop(view, urls); // a second drop of the same files adds nothing

    // URLs resolve independently, so one drop's files may queue in any order.
    QStringList names = queuedNames(view);
    names.sort();
    queued.sort();
    QCOMPARE(names, queued);
    QCOMPARE(view.batch().queue().size(), std::size_t(queued.size()));
    QCOMPARE(view.showsEmptyState(), queued.isEmpty());
    QCOMPARE(view.runButton().isEnabled(), !queued.isEmpty());
    for (const ShownRows::Row& row : ShownRows::queued(view.list())) {
        QCOMPARE(row.symbol, QStringLiteral("doc"));
        QVERIFY(row.detail.isEmpty());
    }
}

void OCRViewTests::hoveringDragShowsTheHint() {
    HistoryStore store{fs::path{}};
    OCRView view(store);
    view.resize(500, 300);
    view.show();
    auto* hint = view.findChild<DropHint*>();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/scan.png"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    QVERIFY(hint->isVisible());
    QCOMPARE(hint->geometry(), view.rect());
    QCOMPARE(hint->symbol(), QStringLiteral("square.and.arrow.down"));
    QDragLeaveEvent leave;
    QApplication::sendEvent(&view, &leave);
    QVERIFY(!hint->isVisible());

    QApplication::sendEvent(&view, &enter);
    QDropEvent dropped(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &dropped);
    QVERIFY(!hint->isVisible());
    QTRY_COMPARE(view.drops().pending(), 0);
}

// Three files, the second unreadable: three rows in queue order, each logged once with mode
// "OCR"; outputs beside the sources under their searchable names.
void OCRViewTests::runListsRowsAndRecordsHistory() {
    Synth::TempDir dir;
    for (const char* name : {"scan.jpg", "broken.png", "a.b.png"}) {
        Synth::writeFile(dir / name, kFakePdf);
    }
    HistoryStore store{fs::path{}};
    OCRView view(store);
    std::atomic<int> calls = 0;
    Settle settle;
    view.setBuilder(fakeBuilder(calls));
    for (const char* name : {"scan.jpg", "broken.png", "a.b.png"}) {
        drop(view, {urlOf(dir / name)});
    }
    int finished = 0;
    connect(&view.batch(), &BatchControllerBase::finished, this, [&] { ++finished; });
    makeActive(view);
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(view.batch().working());
    QTRY_COMPARE(finished, 1);

    struct Expected {
        QString name, symbol, note;
        std::optional<fs::path> saved;
    };
    const Expected expected[] = {
        {"scan.jpg", "checkmark.circle.fill", "searchable PDF", dir / "scan-searchable.pdf"},
        {"broken.png", "info.circle", "No text found", std::nullopt},
        {"a.b.png", "checkmark.circle.fill", "searchable PDF", dir / "a.b-searchable.pdf"}};
    const auto rows = ShownRows::results(view.list());
    QCOMPARE(rows.size(), std::size_t{3});
    QCOMPARE(store.entries().size(), std::size_t{3});
    for (std::size_t i = 0; i < 3; ++i) {
        const Expected& want = expected[i];
        QCOMPARE(rows[i].name, want.name);
        QCOMPARE(rows[i].symbol, want.symbol);
        QCOMPARE(rows[i].detail, want.note);
        QCOMPARE(rows[i].saved.has_value(), want.saved.has_value());
        QCOMPARE(rows[i].dragsFile, want.saved.has_value());
        // The history lists the batch newest (last row) first.
        const HistoryEntry& entry = store.entries()[std::size_t(2 - i)];
        QCOMPARE(QString::fromStdString(entry.input), want.name);
        QCOMPARE(entry.mode, std::string("OCR"));
        QCOMPARE(entry.note, std::optional<std::string>(want.note.toStdString()));
        QVERIFY(!entry.before && !entry.after);
        if (want.saved) {
            QCOMPARE(entry.outputPath, std::optional<std::string>(want.saved->string()));
            QCOMPARE(Synth::readFile(*want.saved), kFakePdf);
        } else {
            QVERIFY(!entry.outputPath);
        }
    }
    // Finished: the queue is gone, the rows stay, and the button waits for a new drop.
    QVERIFY(view.batch().queue().empty());
    QVERIFY(queuedNames(view).isEmpty());
    QVERIFY(!view.showsEmptyState());
    QCOMPARE(view.runButton().text(), QStringLiteral("Run OCR"));
    QVERIFY(!view.runButton().isEnabled());
    QCOMPARE(calls.load(), 3);
}

void OCRViewTests::workingStateAndDropDuringRun() {
    Synth::TempDir dir;
    for (const char* name : {"first.png", "second.png", "late.png"}) {
        Synth::writeFile(dir / name, kFakePdf);
    }
    HistoryStore store{fs::path{}};
    OCRView view(store);
    QSemaphore gate;
    std::atomic<int> calls = 0;
    Settle settle{&gate};
    view.setBuilder(gatedBuilder(gate, calls));
    drop(view, {urlOf(dir / "first.png")});
    gate.release();
    view.run();
    QTRY_VERIFY(!view.batch().working());

    // A second run: while it works, the previous run's row and the queue stay as they were.
    drop(view, {urlOf(dir / "second.png")});
    makeActive(view);
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(view.batch().working());
    QCOMPARE(view.runButton().text(), QStringLiteral("Working\u2026"));
    QVERIFY(!view.runButton().isEnabled());
    QCOMPARE(ShownRows::results(view.list()).size(), std::size_t{1});
    QCOMPARE(ShownRows::results(view.list())[0].name, QStringLiteral("first.png"));
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier); // disabled: nothing happens
    QCOMPARE(BatchControllerBase::runningCount(), std::size_t{1});

    drop(view, {urlOf(dir / "late.png")});
    QCOMPARE(queuedNames(view), (QStringList{"second.png", "late.png"}));
    QVERIFY(!view.runButton().isEnabled());
    gate.release();
    QTRY_VERIFY(!view.batch().working());

    const auto rows = ShownRows::results(view.list());
    QCOMPARE(rows.size(), std::size_t{1});
    QCOMPARE(rows[0].name, QStringLiteral("second.png"));
    QVERIFY(view.batch().queue().empty());
    QVERIFY(queuedNames(view).isEmpty());
    QCOMPARE(calls.load(), 2);
    QVERIFY(!fs::exists(dir / "late-searchable.pdf"));
    QCOMPARE(store.entries().size(), std::size_t{2});
}

// As root a read-only folder can still be written; a name longer than the file system allows
// fails for everyone.
void OCRViewTests::unwritableOutputSaysCouldntSave_data() {
    QTest::addColumn<bool>("readOnlyFolder");
    QTest::newRow("name too long") << false;
    QTest::newRow("read-only folder") << true;
}

void OCRViewTests::unwritableOutputSaysCouldntSave() {
    QFETCH(bool, readOnlyFolder);
    if (readOnlyFolder && ::geteuid() == 0) {
        QSKIP("root writes into read-only folders");
    }
    Synth::TempDir dir;
    const std::string name = readOnlyFolder ? "scan.png" : std::string(245, 's') + ".png";
    Synth::writeFile(dir / name, kFakePdf);
    if (readOnlyFolder) {
        fs::permissions(dir.path(), fs::perms::owner_read | fs::perms::owner_exec);
    }
    HistoryStore store{fs::path{}};
    OCRView view(store);
    std::atomic<int> calls = 0;
    Settle settle;
    view.setBuilder(fakeBuilder(calls));
    drop(view, {urlOf(dir / name)});
    view.run();
    QTRY_VERIFY(!view.batch().working());
    fs::permissions(dir.path(), fs::perms::owner_all);

    const auto rows = ShownRows::results(view.list());
    QCOMPARE(rows.size(), std::size_t{1});
    QVERIFY(rows[0].detail.startsWith(QStringLiteral("Couldn't save: ")));
    QVERIFY(rows[0].detail.size() > int(std::string_view("Couldn't save: ").size()));
    QCOMPARE(rows[0].symbol, QStringLiteral("info.circle"));
    QVERIFY(!rows[0].saved);
    QCOMPARE(store.entries().size(), std::size_t{1});
    QVERIFY(!store.entries()[0].outputPath);
    // Nothing but the source is left in the folder, not even a temporary file.
    QCOMPARE(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

// The screen's files run in workers: a file on which the renderer never returns (the corpus'
// looping PDF, or else a worker stopped outright) gives its timeout row after the file
// timeout while the other file is done, the history gets both rows, and no worker is left.
void OCRViewTests::aHangingFileInAWorkerCostsOnlyItsRow() {
    Synth::TempDir dir;
    Synth::save(TextPages::image(TextPages::paragraph(200, 120)), dir / "a.png");
    const fs::path hanging = dir / "hanging.pdf";
    const auto looping = Corpus::file("damaged/bitflip_poppler_loop_enc_aes128.pdf");
    if (looping) {
        fs::copy_file(*looping, hanging);
    } else {
        Synth::writeFile(hanging, SynthPdf::textPages(20));
    }
    HistoryStore store{fs::path{}};
    OCRView view(store);
    Settle settle;
    drop(view, {urlOf(dir / "a.png"), urlOf(hanging)});
    // One drop's URLs resolve independently and may queue in either order.
    const QStringList names = queuedNames(view);
    QCOMPARE(QSet<QString>(names.begin(), names.end()), (QSet<QString>{"a.png", "hanging.pdf"}));
    const std::size_t hangingIndex = std::size_t(names.indexOf(QStringLiteral("hanging.pdf")));

    WorkerSettings workers;
    workers.executable = workerProgram();
    workers.jobs = 2;
    workers.fileTimeout = std::chrono::seconds(5);
    if (!looping) {
        workers.dispatched = [hangingIndex](std::size_t file, int pid) {
            if (file == hangingIndex) {
                ::kill(pid, SIGSTOP);
            }
        };
    }
    view.setWorkers(workers);
    view.run();
    QTRY_VERIFY_WITH_TIMEOUT(!view.batch().working(), 120000);

    const auto& rows = view.batch().done();
    QCOMPARE(rows.size(), std::size_t(2));
    const bool hangingFirst = rows[0].name == "hanging.pdf";
    const auto& done = rows[hangingFirst ? 1 : 0];
    const auto& timedOut = rows[hangingFirst ? 0 : 1];
    QCOMPARE(done.name, std::string("a.png"));
    QCOMPARE(ResultRows::note(done, Screen::ocr), std::string("searchable PDF"));
    QCOMPARE(timedOut.name, std::string("hanging.pdf"));
    QCOMPARE(ResultRows::note(timedOut, Screen::ocr),
             std::string("Couldn't process \u2014 took longer than 5 s"));
    QVERIFY(!fs::exists(dir / "hanging-searchable.pdf"));
    QCOMPARE(store.entries().size(), std::size_t(2));
    // Workers are children of the thread that started them: look at every thread's.
    for (const auto& task : fs::directory_iterator("/proc/self/task")) {
        std::ifstream children(task.path() / "children");
        QVERIFY(std::string(std::istreambuf_iterator<char>(children), {}).empty());
    }
}

QTEST_MAIN(OCRViewTests)
#include "OCRViewTests.moc"
