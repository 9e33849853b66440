// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryStore.h"
#include "ShownRows.h"
#include "Views/CompressView.h"
#include "Views/DropHandler.h"
#include "Views/DropHint.h"
#include "support/Corpus.h"
#include "support/Synth.h"

#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QSemaphore>
#include <QStackedWidget>
#include <QTest>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace CW = CompressWorkflow;

namespace {

QUrl urlOf(const fs::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

// Drags `urls` onto the view and drops them the way the window system does (Qt delivers a
// drop only to the widget that accepted the drag's entry), then waits until every URL has
// been resolved.
void drop(CompressView& view, const QList<QUrl>& urls) {
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

std::vector<std::string> queuedNames(CompressView& view) {
    std::vector<std::string> names;
    for (const CW::Job& job : view.batch().queue()) {
        names.push_back(job.name());
    }
    return names;
}

bool showsEmptyState(CompressView& view) {
    return view.findChild<QStackedWidget*>()->currentIndex() == 0;
}

QPushButton* startButton(CompressView& view) {
    return view.findChild<QPushButton*>(QStringLiteral("start"));
}

void writeBytes(const fs::path& path, std::size_t count) {
    fs::create_directories(path.parent_path());
    Synth::writeFile(path, Bytes(count, 0x11));
}

// The first row of the list: the queue's section label while something is queued.
QString firstRowText(CompressView& view) {
    return view.list().model()->index(0, 0).data().toString();
}

} // namespace

class CompressViewTests : public QObject {
    Q_OBJECT

private slots:
    void startsIdleAndEmpty();
    void dropsQueueJobs_data();
    void dropsQueueJobs();
    void dragWithFilesShowsTheHint();
    void ctrlReturnStartsOnlyWhenAllowed();
    void batchShowsRowsAndRecordsHistory();
    void corpusPhotoShowsTheSizeLine();
};

void CompressViewTests::startsIdleAndEmpty() {
    HistoryStore store{fs::path{}};
    CompressView view(store);
    QVERIFY(showsEmptyState(view));
    QCOMPARE(startButton(view)->text(), QStringLiteral("Compress"));
    QVERIFY(!startButton(view)->isEnabled());
    QCOMPARE(view.choice(), CW::TargetChoice::email);
    auto* picker = view.findChild<QComboBox*>(QStringLiteral("target"));
    QCOMPARE(picker->count(), 3);
    QCOMPARE(picker->itemText(1), QStringLiteral("Web (1 MB)"));
    const auto* text = view.findChild<QLabel*>(QStringLiteral("text"));
    QVERIFY(text->text().contains(QStringLiteral("\u2014 entirely on your computer.")));
}

// Each case: files to create (relative; a trailing '/' makes a folder), what is dropped, and
// the queued names expected in order.
void CompressViewTests::dropsQueueJobs_data() {
    QTest::addColumn<QStringList>("create");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("queued");
    QTest::newRow("files") << QStringList{"a.png", "b.JPG", "c.pdf"}
                           << QStringList{"a.png", "b.JPG", "c.pdf"}
                           << QStringList{"a.png", "b.JPG", "c.pdf"};
    QTest::newRow("folder") << QStringList{"f/x.png", "f/sub/y.heic", "f/notes.txt",
                                           "f/z-small.jpg"}
                            << QStringList{"f"} << QStringList{"y.heic", "x.png"};
    QTest::newRow("duplicates") << QStringList{"a.png"} << QStringList{"a.png", "a.png"}
                                << QStringList{"a.png"};
    QTest::newRow("tif is not accepted")
        << QStringList{"scan.tif"} << QStringList{"scan.tif"} << QStringList{};
    QTest::newRow("folder without accepted files")
        << QStringList{"g/readme.txt", "g/scan.tif"} << QStringList{"g"} << QStringList{};
    QTest::newRow("not a file URL") << QStringList{} << QStringList{} << QStringList{};
}

void CompressViewTests::dropsQueueJobs() {
    QFETCH(QStringList, create);
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, queued);
    Synth::TempDir dir;
    for (const QString& name : create) {
        writeBytes(dir / name.toStdString(), 100);
    }
    QList<QUrl> urls;
    for (const QString& name : dropped) {
        urls.push_back(urlOf(dir / name.toStdString()));
    }
    if (dropped.isEmpty()) {
        urls.push_back(QUrl(QStringLiteral("https://example.org/photo.png")));
    }
    HistoryStore store{fs::path{}};
    CompressView view(store);
    drop(view, urls);
    // Items of separate URLs may arrive in any order; a folder's jobs keep theirs.
    std::vector<std::string> names = queuedNames(view);
    std::vector<std::string> expected;
    for (const QString& name : queued) {
        expected.push_back(name.toStdString());
    }
    if (dropped.size() > 1) {
        std::sort(names.begin(), names.end());
        std::sort(expected.begin(), expected.end());
    }
    QCOMPARE(names, expected);
    QCOMPARE(showsEmptyState(view), queued.isEmpty());
    QCOMPARE(startButton(view)->isEnabled(), !queued.isEmpty());
    if (!queued.isEmpty()) {
        QCOMPARE(firstRowText(view), QStringLiteral("TO COMPRESS \u00B7 %1").arg(queued.size()));
        for (const ShownRows::Row& row : ShownRows::queued(view.list())) {
            QCOMPARE(row.symbol, QStringLiteral("photo"));
            QCOMPARE(row.detail, QStringLiteral("100 bytes"));
        }
    }
    drop(view, urls); // dropping the same again adds nothing
    QCOMPARE(view.batch().queue().size(), std::size_t(queued.size()));
}

void CompressViewTests::dragWithFilesShowsTheHint() {
    HistoryStore store{fs::path{}};
    CompressView view(store);
    view.resize(400, 300);
    view.show();
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/x.png"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    QVERIFY(enter.isAccepted());
    auto* hint = view.findChild<DropHint*>();
    QVERIFY(hint->isVisible());
    QCOMPARE(hint->geometry(), view.rect());
    QDragLeaveEvent leave;
    QApplication::sendEvent(&view, &leave);
    QVERIFY(!hint->isVisible());
}

void CompressViewTests::ctrlReturnStartsOnlyWhenAllowed() {
    Synth::TempDir dir;
    writeBytes(dir / "a.png", 100);
    HistoryStore store{fs::path{}};
    CompressView view(store);
    int calls = 0;
    QSemaphore gate;
    view.setCompressor([&](const fs::path&, SizeTarget) -> std::optional<Bytes> {
        ++calls;
        gate.acquire();
        return std::nullopt;
    });
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(!view.batch().working());

    drop(view, {urlOf(dir / "a.png")});
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(view.batch().working());
    QCOMPARE(startButton(view)->text(), QStringLiteral("Compressing\u2026"));
    QVERIFY(!startButton(view)->isEnabled());
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    QCOMPARE(BatchControllerBase::runningCount(), std::size_t{1});
    gate.release();
    QTRY_VERIFY(!view.batch().working());
    QCOMPARE(calls, 1);
    QCOMPARE(startButton(view)->text(), QStringLiteral("Compress"));
    QVERIFY(!startButton(view)->isEnabled());
}

void CompressViewTests::batchShowsRowsAndRecordsHistory() {
    Synth::TempDir dir;
    Synth::save(Synth::photoLike(600, 400, 3), dir / "big.png"); // written smaller
    Synth::writeFile(dir / "small.jpg", Synth::jpegBytes(Synth::photoLike(64, 48, 4)));
    writeBytes(dir / "bad.png", 500); // not an image
    fs::create_directories(dir / "trip");
    Synth::writeFile(dir / "trip" / "tiny.jpg", Synth::jpegBytes(Synth::photoLike(64, 48, 5)));
    HistoryStore store{fs::path{}};
    CompressView view(store);
    drop(view, {urlOf(dir / "big.png")});
    drop(view, {urlOf(dir / "small.jpg")});
    drop(view, {urlOf(dir / "bad.png")});
    drop(view, {urlOf(dir / "trip")});
    view.compress();
    QTRY_VERIFY_WITH_TIMEOUT(!view.batch().working(), 30000);
    QVERIFY(!showsEmptyState(view));
    QVERIFY(view.batch().queue().empty());

    struct Expected {
        QString name, symbol, caption;
        bool reveal;
    };
    const auto rows = ShownRows::results(view.list());
    QCOMPARE(rows.size(), std::size_t{4});
    QCOMPARE(view.list().model()->index(view.list().resultRow(0) - 1, 0).data().toString(),
             QStringLiteral("DONE"));
    const Expected expected[] = {
        {"big.png", "checkmark.circle.fill", "", true},
        {"small.jpg", "info.circle", "Already optimized \u2014 left as is", false},
        {"bad.png", "info.circle", "Couldn't process", false},
        {"tiny.jpg", "checkmark.circle.fill", "Copied \u2014 already small", true}};
    for (std::size_t i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].name, expected[i].name);
        QCOMPARE(rows[i].symbol, expected[i].symbol);
        if (!expected[i].caption.isEmpty()) {
            QCOMPARE(rows[i].detail, expected[i].caption);
        }
        QCOMPARE(rows[i].saved.has_value(), expected[i].reveal);
        QCOMPARE(rows[i].dragsFile, expected[i].reveal);
    }
    QVERIFY(rows[0].detail.contains(QStringLiteral(" \u2192 ")));
    QVERIFY(rows[0].detail.contains(QStringLiteral("  (\u2212")));
    QVERIFY(fs::exists(dir / "big-small.jpg"));
    QVERIFY(fs::exists(dir / "trip \u2014 Parvo" / "tiny.jpg"));

    // Every row but "Couldn't process" is logged, newest (last) first.
    QCOMPARE(store.entries().size(), std::size_t{3});
    QCOMPARE(store.entries()[0].input, std::string("tiny.jpg"));
    QCOMPARE(store.entries()[2].input, std::string("big.png"));
    QCOMPARE(store.entries()[2].mode, std::string("Compress"));
}

void CompressViewTests::corpusPhotoShowsTheSizeLine() {
    const auto photo = Corpus::file("images/olympus_ep3_camera.jpg");
    if (!photo) {
        QSKIP("corpus not available");
    }
    Synth::TempDir dir;
    fs::copy_file(*photo, dir / "camera.jpg");
    HistoryStore store{fs::path{}};
    CompressView view(store);
    view.findChild<QComboBox*>(QStringLiteral("target"))->setCurrentIndex(1); // Web (1 MB)
    drop(view, {urlOf(dir / "camera.jpg")});
    view.compress();
    QTRY_VERIFY_WITH_TIMEOUT(!view.batch().working(), 30000);
    const auto rows = ShownRows::results(view.list());
    QCOMPARE(rows.size(), std::size_t{1});
    QVERIFY(rows[0].saved);
    QVERIFY(rows[0].detail.startsWith(QStringLiteral("2.9 MB \u2192 ")));
    QVERIFY(fs::file_size(dir / "camera-small.jpg") <= 1024 * 1024);
    QCOMPARE(store.entries().size(), std::size_t{1});
}

QTEST_MAIN(CompressViewTests)
#include "CompressViewTests.moc"
