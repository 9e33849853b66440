// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryStore.h"
#include "Views/BatchController.h"
#include "Views/CompressView.h"
#include "support/Synth.h"

#include <QMimeData>
#include <QPointer>
#include <QSemaphore>
#include <QTest>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
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

// A workflow that processes one item each time the gate is opened, stopping between items
// when asked, as the real workflows do.
IntBatch::Work gated(QSemaphore& gate, std::atomic<int>& processed) {
    return [&gate, &processed](const std::vector<int>& snapshot, std::stop_token stop) {
        std::vector<std::string> rows;
        for (int item : snapshot) {
            if (stop.stop_requested()) {
                break;
            }
            gate.acquire();
            rows.push_back("row" + std::to_string(item));
            ++processed;
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
    QVERIFY(batch.queue().empty());
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

QTEST_MAIN(BatchControllerTests)
#include "BatchControllerTests.moc"
