// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryStore.h"
#include "ShownRows.h"
#include "Views/BatchController.h"
#include "Views/CompressView.h"
#include "Views/OCRView.h"
#include "Views/PDFToolsView.h"
#include "support/Synth.h"

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QMimeData>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

using IntBatch = BatchController<int, std::string>;

std::vector<HistoryEntry> entriesOf(const std::vector<std::string>& rows) {
    std::vector<HistoryEntry> entries;
    for (const std::string& row : rows) {
        entries.push_back(HistoryEntry::make("Test", row, UtcDate::systemClock()));
    }
    return entries;
}

// How a fake workflow meets a stop: after the item in progress (in this process), or at once
// (in workers), the item in progress then giving no row.
enum class OnStop { finishItem, endAtOnce };

// Waits for the gate; false when a stop ends the wait first (OnStop::endAtOnce).
bool passGate(QSemaphore& gate, const std::stop_token& stop, OnStop onStop) {
    while (!gate.tryAcquire(1, 5)) {
        if (onStop == OnStop::endAtOnce && stop.stop_requested()) {
            return false;
        }
    }
    return true;
}

// A workflow that processes one item each time the gate is opened, reporting each item as the
// real workflows do and stopping when asked.
IntBatch::Work gated(QSemaphore& gate, std::atomic<int>& processed,
                     OnStop onStop = OnStop::finishItem) {
    return
        [&gate, &processed, onStop](const std::vector<int>& snapshot, const WorkContext& context) {
            std::vector<std::string> rows;
            for (std::size_t i = 0; i < snapshot.size(); ++i) {
                if (context.stop.stop_requested()) {
                    break;
                }
                if (context.skipped(i)) {
                    continue;
                }
                context.events({BatchEvent::Kind::fileStarted, i, snapshot.size()});
                if (!passGate(gate, context.stop, onStop)) {
                    break;
                }
                rows.push_back("row" + std::to_string(snapshot[i]));
                ++processed;
                context.events({BatchEvent::Kind::fileFinished, i, snapshot.size()});
            }
            return rows;
        };
}

std::vector<std::string> inputs(const HistoryStore& store) {
    std::vector<std::string> names;
    for (const HistoryEntry& entry : store.entries()) {
        names.push_back(entry.input);
    }
    return names;
}

bool leftTemporaryFiles(const fs::path& root) {
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        if (entry.path().filename().string().find(".parvo-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// One opening of the gate in a scripted batch: the events the batch then sends, and what the
// screen shows once they have arrived.
struct Step {
    std::vector<BatchEvent> events;
    QString caption;
    int percent; // the bar's value
};

BatchEvent event(BatchEvent::Kind kind, std::size_t file, int pagesDone = 0, int pageCount = 0) {
    return {kind, file, 3, pagesDone, pageCount};
}

// A batch that plays `steps`, one per opening of the gate, giving a row for each file it
// reports finished, and then waits for one more opening; a stop ends it at once, as with
// workers.
template <class Batch, class RowOf>
typename Batch::Work scripted(QSemaphore& gate, const std::vector<Step>& steps, RowOf rowOf) {
    return [&gate, steps, rowOf](const auto& snapshot, const WorkContext& context) {
        std::vector<std::decay_t<decltype(rowOf(snapshot[0]))>> rows;
        for (const Step& step : steps) {
            if (!passGate(gate, context.stop, OnStop::endAtOnce)) {
                break;
            }
            for (const BatchEvent& sent : step.events) {
                context.events(sent);
                if (sent.kind == BatchEvent::Kind::fileFinished) {
                    rows.push_back(rowOf(snapshot[sent.file]));
                }
            }
        }
        passGate(gate, context.stop, OnStop::endAtOnce);
        return rows;
    };
}

void makeActive(QWidget& screen) {
    screen.resize(760, 520);
    screen.show();
    QApplication::setActiveWindow(&screen);
    QVERIFY(QTest::qWaitForWindowActive(&screen));
}

int percentOf(const QProgressBar& bar) {
    return qRound(100.0 * (bar.value() - bar.minimum()) / (bar.maximum() - bar.minimum()));
}

QString accessibleName(QWidget* widget) {
    QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
    return accessible ? accessible->text(QAccessible::Name) : QString();
}

// Three files a, b and c: the bar and the caption follow the batch's events; Escape, with d
// queued meanwhile, ends the batch at once with a's row, leaving b, c and d queued.
template <class Screen, class RowOf>
void checkProgressAndStop(Screen& screen, RowOf rowOf, const std::function<void(QString)>& queue,
                          HistoryStore& store) {
    using K = BatchEvent::Kind;
    const std::vector<Step> steps = {
        {{}, QStringLiteral("0 of 3 \u00B7 a.pdf"), 0},
        {{event(K::fileStarted, 0), event(K::pages, 0, 1, 4)},
         QStringLiteral("0 of 3 \u00B7 a.pdf \u00B7 page 2 of 4"),
         8},
        {{event(K::pages, 0, 4, 4), event(K::fileFinished, 0), event(K::fileStarted, 1),
          event(K::fileStarted, 2), event(K::pages, 2, 1, 2)},
         QStringLiteral("1 of 3 \u00B7 b.pdf"),
         50},
        {{event(K::pages, 1, 1, 3), event(K::pages, 1, 3, 3)},
         QStringLiteral("1 of 3 \u00B7 b.pdf \u00B7 page 3 of 3"),
         83},
    };
    for (const char* name : {"a.pdf", "b.pdf", "c.pdf"}) {
        queue(QString::fromLatin1(name));
    }
    makeActive(screen);
    auto* status = screen.template findChild<QWidget*>(QStringLiteral("batchStatus"));
    auto* bar = screen.template findChild<QProgressBar*>(QStringLiteral("progress"));
    auto* caption = screen.template findChild<QLabel*>(QStringLiteral("progressCaption"));
    auto* stop = screen.template findChild<QPushButton*>(QStringLiteral("stop"));
    QVERIFY(status && bar && caption && stop);
    QVERIFY(!status->isVisible() && !stop->isVisible());

    QSemaphore gate;
    QVERIFY(screen.batch().start(
        scripted<std::remove_reference_t<decltype(screen.batch())>>(gate, steps, rowOf)));
    QVERIFY(status->isVisible() && stop->isVisible());
    for (const Step& step : steps) {
        gate.release(1);
        QTRY_COMPARE(caption->text(), step.caption);
        QCOMPARE(percentOf(*bar), step.percent);
    }
    QAccessibleInterface* accessibleBar = QAccessible::queryAccessibleInterface(bar);
    QCOMPARE(accessibleBar->role(), QAccessible::ProgressBar);
    QCOMPARE(accessibleBar->text(QAccessible::Name), QStringLiteral("Progress"));
    QCOMPARE(accessibleBar->valueInterface()->currentValue().toInt(), bar->value());
    QCOMPARE(accessibleName(caption), caption->text());
    QCOMPARE(accessibleName(stop), QStringLiteral("Stop"));

    queue(QStringLiteral("d.pdf"));
    QTest::keyClick(&screen, Qt::Key_Escape);
    QVERIFY(!stop->isEnabled()); // taken, while the batch may still end its file in progress
    QTRY_VERIFY(!screen.batch().working());
    QCOMPARE(screen.batch().done().size(), std::size_t{1});
    QCOMPARE(ShownRows::queuedNames(screen.list()), (QStringList{"b.pdf", "c.pdf", "d.pdf"}));
    QCOMPARE(store.entries().size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(store.entries()[0].input), QStringLiteral("a.pdf"));
    QVERIFY(!status->isVisible() && !stop->isVisible());
}

} // namespace

class BatchControllerTests : public QObject {
    Q_OBJECT

private slots:
    void runsTheSnapshotAndDropsItemsQueuedDuringTheRun();
    void finishesInOrder();
    void refusesToStartWhenEmptyOrWorking();
    void queueSkipsEqualItems();
    void destroyedControllerStillRecordsFinishedRows();
    void waitForAllFinishesRunningBatchesAtOnce();
    void closingCompressViewDuringABatchLeavesNoTemporaryFiles();
    void stopKeepsTheUnfinishedFilesQueued();
    void screensShowProgressAndStop_data();
    void screensShowProgressAndStop();
};

void BatchControllerTests::runsTheSnapshotAndDropsItemsQueuedDuringTheRun() {
    HistoryStore store{fs::path{}};
    IntBatch batch(store, entriesOf);
    QSemaphore gate;
    std::atomic<int> processed = 0;
    batch.append({1, 2});
    QVERIFY(batch.start(gated(gate, processed)));
    batch.append({3});
    QCOMPARE(batch.queue(), (std::vector<int>{1, 2, 3}));
    gate.release(3);
    QTRY_VERIFY(!batch.working());
    QCOMPARE(processed.load(), 2);
    QCOMPARE(batch.done(), (std::vector<std::string>{"row1", "row2"}));
    QVERIFY(batch.queue().empty());
    // recordBatch puts the last row of a batch first.
    QCOMPARE(inputs(store), (std::vector<std::string>{"row2", "row1"}));
}

void BatchControllerTests::finishesInOrder() {
    HistoryStore store{fs::path{}};
    IntBatch batch(store, entriesOf);
    std::vector<std::string> events;
    connect(&batch, &BatchControllerBase::doneChanged, this, [&] { events.push_back("done"); });
    connect(&batch, &BatchControllerBase::queueChanged, this,
            [&] { events.push_back(batch.queue().empty() ? "queue emptied" : "queue grew"); });
    connect(&batch, &BatchControllerBase::workingChanged, this,
            [&](bool working) { events.push_back(working ? "working" : "idle"); });
    connect(&batch, &BatchControllerBase::finished, this, [&] { events.push_back("finished"); });
    store.addObserver([&] {
        events.push_back("history");
        QVERIFY(!batch.working());
        QCOMPARE(batch.done().size(), std::size_t{1});
    });
    QSemaphore gate(1);
    std::atomic<int> processed = 0;
    batch.append({7});
    QVERIFY(batch.start(gated(gate, processed)));
    QTRY_VERIFY(!batch.working());
    const std::vector<std::string> expected = {"queue grew", "working", "done",    "queue emptied",
                                               "idle",       "history", "finished"};
    QCOMPARE(events, expected);
}

void BatchControllerTests::refusesToStartWhenEmptyOrWorking() {
    HistoryStore store{fs::path{}};
    IntBatch batch(store, entriesOf);
    QSemaphore gate;
    std::atomic<int> processed = 0;
    QVERIFY(!batch.canStart());
    QVERIFY(!batch.start(gated(gate, processed)));
    QVERIFY(!batch.working());
    batch.append({1});
    QVERIFY(batch.canStart());
    QVERIFY(batch.start(gated(gate, processed)));
    QVERIFY(!batch.canStart());
    QVERIFY(!batch.start(gated(gate, processed)));
    QCOMPARE(BatchControllerBase::runningCount(), std::size_t{1});
    gate.release(1);
    QTRY_VERIFY(!batch.working());
    QCOMPARE(processed.load(), 1);
    QCOMPARE(store.entries().size(), std::size_t{1});
}

void BatchControllerTests::queueSkipsEqualItems() {
    HistoryStore store{fs::path{}};
    IntBatch batch(store, entriesOf);
    int changes = 0;
    connect(&batch, &BatchControllerBase::queueChanged, this, [&] { ++changes; });
    batch.append({1, 2, 1});
    batch.append({2});
    batch.append({3, 2});
    QCOMPARE(batch.queue(), (std::vector<int>{1, 2, 3}));
    QCOMPARE(changes, 2);
}

void BatchControllerTests::destroyedControllerStillRecordsFinishedRows() {
    HistoryStore store{fs::path{}};
    QSemaphore gate;
    std::atomic<int> processed = 0;
    auto batch = std::make_unique<IntBatch>(store, entriesOf);
    int finishedSignals = 0;
    connect(batch.get(), &BatchControllerBase::finished, this, [&] { ++finishedSignals; });
    batch->append({1, 2, 3});
    QVERIFY(batch->start(gated(gate, processed)));
    gate.release(1);
    QTRY_COMPARE(processed.load(), 1);
    batch.reset(); // the item in progress (2) completes; 3 is never started
    gate.release(2);
    QTRY_COMPARE(BatchControllerBase::runningCount(), std::size_t{0});
    QCOMPARE(processed.load(), 2);
    QCOMPARE(inputs(store), (std::vector<std::string>{"row2", "row1"}));
    QCOMPARE(finishedSignals, 0);
}

void BatchControllerTests::waitForAllFinishesRunningBatchesAtOnce() {
    HistoryStore store{fs::path{}};
    IntBatch batch(store, entriesOf);
    QSemaphore gate;
    std::atomic<int> processed = 0;
    batch.append({1, 2, 3});
    QVERIFY(batch.start(gated(gate, processed)));
    gate.release(1);
    QTRY_COMPARE(processed.load(), 1);
    // Item 2 is in progress when the stop comes; it ends while waitForAll blocks.
    std::thread opener([&gate] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        gate.release(1);
    });
    // No event loop runs here: the batch is finished synchronously, as at quit.
    BatchControllerBase::waitForAll();
    opener.join();
    QVERIFY(!batch.working());
    QCOMPARE(batch.queue(), (std::vector<int>{3}));
    QCOMPARE(batch.done(), (std::vector<std::string>{"row1", "row2"}));
    QCOMPARE(store.entries().size(), std::size_t{2});
    QCOMPARE(BatchControllerBase::runningCount(), std::size_t{0});
    QTest::qWait(20); // the queued finish that arrives later changes nothing
    QCOMPARE(store.entries().size(), batch.done().size());
}

void BatchControllerTests::closingCompressViewDuringABatchLeavesNoTemporaryFiles() {
    Synth::TempDir dir;
    QMimeData data;
    QList<QUrl> urls;
    for (int i = 0; i < 3; ++i) {
        fs::path file = dir / std::to_string(i);
        file += ".png";
        Synth::save(Synth::photoLike(400, 300, static_cast<unsigned>(i + 1)), file);
        urls.push_back(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    }
    data.setUrls(urls);
    HistoryStore store{fs::path{}};
    QSemaphore started;
    QSemaphore gate;
    auto view = std::make_unique<CompressView>(store);
    view->setCompressor([&](const fs::path& source, SizeTarget target) {
        started.release();
        gate.acquire();
        return CompressWorkflow::engineCompress(source, target);
    });
    view->handleDrop(data);
    QTRY_COMPARE(view->batch().queue().size(), std::size_t{3});
    view->compress();
    QVERIFY(started.tryAcquire(1, 5000));
    view.reset();
    gate.release(3);
    QTRY_COMPARE(BatchControllerBase::runningCount(), std::size_t{0});
    QCOMPARE(store.entries().size(), std::size_t{1});
    QVERIFY(store.entries()[0].outputPath.has_value());
    QVERIFY(fs::exists(*store.entries()[0].outputPath));
    QVERIFY(!leftTemporaryFiles(dir.path()));
}

// A stop that ends the item in progress at once: the finished rows replace the done ones and
// are recorded once; the item in progress, the one not started and one queued meanwhile stay
// queued for the next batch, which gives each of them its row once.
void BatchControllerTests::stopKeepsTheUnfinishedFilesQueued() {
    HistoryStore store{fs::path{}};
    IntBatch batch(store, entriesOf);
    QSemaphore gate;
    std::atomic<int> processed = 0;
    int deliveries = 0;
    int finishes = 0;
    connect(&batch, &BatchControllerBase::doneChanged, this, [&] { ++deliveries; });
    connect(&batch, &BatchControllerBase::finished, this, [&] { ++finishes; });
    batch.append({1, 2, 3});
    QVERIFY(batch.start(gated(gate, processed, OnStop::endAtOnce)));
    gate.release(1);
    QTRY_COMPARE(batch.progress().filesDone, std::size_t{1});
    QCOMPARE(batch.progress().current, std::optional<std::size_t>{1});
    batch.append({4});
    batch.requestStop();
    QTRY_VERIFY(!batch.working());
    QCOMPARE(batch.done(), (std::vector<std::string>{"row1"}));
    QCOMPARE(batch.queue(), (std::vector<int>{2, 3, 4}));
    QCOMPARE(inputs(store), (std::vector<std::string>{"row1"}));
    QCOMPARE(deliveries, 1);
    QCOMPARE(finishes, 1);

    QVERIFY(batch.start(gated(gate, processed, OnStop::endAtOnce)));
    gate.release(3);
    QTRY_VERIFY(!batch.working());
    QCOMPARE(batch.done(), (std::vector<std::string>{"row2", "row3", "row4"}));
    QVERIFY(batch.queue().empty());
    QCOMPARE(inputs(store), (std::vector<std::string>{"row4", "row3", "row2", "row1"}));
    QCOMPARE(deliveries, 2);
    QCOMPARE(finishes, 2);
}

void BatchControllerTests::screensShowProgressAndStop_data() {
    QTest::addColumn<QString>("screen");
    for (const char* screen : {"Compress", "OCR", "PDF Tools"}) {
        QTest::newRow(screen) << QString::fromLatin1(screen);
    }
}

void BatchControllerTests::screensShowProgressAndStop() {
    QFETCH(QString, screen);
    HistoryStore store{fs::path{}};
    const fs::path folder = "/in";
    if (screen == QLatin1String("Compress")) {
        CompressView view(store);
        checkProgressAndStop(
            view,
            [](const CompressWorkflow::Job& job) {
                CompressWorkflow::Outcome outcome;
                outcome.name = job.name();
                return outcome;
            },
            [&](const QString& name) {
                view.batch().append({{Uuid{}, folder / name.toStdString(), {}, std::nullopt}});
            },
            store);
        return;
    }
    std::unique_ptr<FileQueueScreen> view;
    if (screen == QLatin1String("OCR")) {
        view = std::make_unique<OCRView>(store);
    } else {
        view = std::make_unique<PDFToolsView>(store);
    }
    checkProgressAndStop(
        *view,
        [](const fs::path& file) {
            ResultRow row;
            row.name = file.filename().string();
            return row;
        },
        [&](const QString& name) { view->batch().append({folder / name.toStdString()}); }, store);
}

QTEST_MAIN(BatchControllerTests)
#include "BatchControllerTests.moc"
