// SPDX-License-Identifier: GPL-3.0-or-later
// The list the working screens share: the queue model following its queue, selection and
// removal, result rows (reveal, drag, what a screen reader hears), adding files through the
// file dialog's seam, a drop of thousands of files, and a list of 10,000.
#include "History/HistoryStore.h"
#include "ShownRows.h"
#include "Views/CompressView.h"
#include "Views/DropHandler.h"
#include "Views/FilePicker.h"
#include "Views/FileRowDelegate.h"
#include "Views/OCRView.h"
#include "Views/PDFToolsView.h"
#include "support/Synth.h"

#include <QAction>
#include <QMimeData>
#include <QPushButton>
#include <QSemaphore>
#include <QSignalSpy>
#include <QTest>
#include <QThreadPool>
#include <atomic>
#include <filesystem>
#include <memory>

namespace fs = std::filesystem;
using Paths = std::vector<fs::path>;

namespace {

Paths pathsOf(const QStringList& names) {
    Paths paths;
    for (const QString& name : names) {
        paths.push_back(fs::path("/queued") / name.toStdString());
    }
    return paths;
}

void syncTo(QueueListModel& model, const Paths& queue) {
    model.sync(queue.size(), [&queue](std::size_t i) -> const fs::path& { return queue[i]; });
}

void makeActive(QWidget& view) {
    view.resize(760, 520);
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
}

QPoint centreOfRow(FileListView& list, int row) {
    return list.visualRect(list.model()->index(row, 0)).center();
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

} // namespace

class FileListTests : public QObject {
    Q_OBJECT

private slots:
    void queueModelFollowsEachChange_data();
    void queueModelFollowsEachChange();
    void removingTheSelectedQueuedFiles_data();
    void removingTheSelectedQueuedFiles();
    void removingDuringABatchSkipsTheUnstartedFiles();
    void resultRowsRevealDragAndReadAloud();
    void addFilesGoesThroughTheDropPath_data();
    void addFilesGoesThroughTheDropPath();
    void aDropOfThousandsArrivesInFewAppends();
    void tenThousandQueuedFilesAreListedAndDrawn();
};

// Each case: the queue before and after one change, and how the model tells its view:
// inserted and removed row ranges, and whether it reset.
void FileListTests::queueModelFollowsEachChange_data() {
    QTest::addColumn<QStringList>("before");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<int>("inserted");
    QTest::addColumn<int>("removed");
    QTest::addColumn<bool>("reset");
    QTest::newRow("first files") << QStringList{} << QStringList{"a", "b"} << 1 << 0 << false;
    QTest::newRow("appended") << QStringList{"a"} << QStringList{"a", "b", "c"} << 1 << 0 << false;
    QTest::newRow("two apart taken out")
        << QStringList{"a", "b", "c", "d", "e"} << QStringList{"a", "c", "e"} << 0 << 2 << false;
    QTest::newRow("neighbours taken out")
        << QStringList{"a", "b", "c", "d"} << QStringList{"a", "d"} << 0 << 1 << false;
    QTest::newRow("emptied") << QStringList{"a", "b"} << QStringList{} << 0 << 0 << true;
    QTest::newRow("replaced") << QStringList{"a", "b"} << QStringList{"c", "d"} << 0 << 0 << true;
    QTest::newRow("unchanged") << QStringList{"a", "b"} << QStringList{"a", "b"} << 0 << 0 << false;
}

void FileListTests::queueModelFollowsEachChange() {
    QFETCH(QStringList, before);
    QFETCH(QStringList, after);
    QFETCH(int, inserted);
    QFETCH(int, removed);
    QFETCH(bool, reset);
    QueueListModel model({QStringLiteral("doc"), QStringLiteral("QUEUED \u00B7 %1"), false});
    syncTo(model, pathsOf(before));
    QSignalSpy insertions(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removals(&model, &QAbstractItemModel::rowsRemoved);
    QSignalSpy resets(&model, &QAbstractItemModel::modelReset);
    syncTo(model, pathsOf(after));
    QCOMPARE(insertions.count(), inserted);
    QCOMPARE(removals.count(), removed);
    QCOMPARE(resets.count(), reset ? 1 : 0);

    QStringList shown;
    for (std::size_t i = 0; i < model.fileCount(); ++i) {
        shown << model.index(model.rowOf(i)).data().toString();
    }
    QCOMPARE(shown, after);
    QCOMPARE(model.rowCount(), after.isEmpty() ? 0 : int(after.size()) + 1);
    if (!after.isEmpty()) {
        QCOMPARE(model.index(0).data().toString(),
                 QStringLiteral("QUEUED \u00B7 %1").arg(after.size()));
        QVERIFY(!(model.flags(model.index(0)) & Qt::ItemIsSelectable));
    }
}

// Each case: how four queued files are selected (row numbers of the queued files, after the
// section label at row 0), and the files left after Delete.
void FileListTests::removingTheSelectedQueuedFiles_data() {
    QTest::addColumn<QString>("gestures");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("click") << "click 2" << QStringList{"a.png", "c.png", "d.png"};
    QTest::newRow("shift-click a range") << "click 2, shift 4" << QStringList{"a.png"};
    QTest::newRow("ctrl-click apart") << "click 1, ctrl 3, ctrl 4" << QStringList{"b.png"};
    QTest::newRow("keys") << "click 1, key down, shift+key down" << QStringList{"a.png", "d.png"};
    QTest::newRow("keys apart") << "click 1, ctrl+key down, ctrl+key down, ctrl+key space"
                                << QStringList{"b.png", "d.png"};
    QTest::newRow("select all, results too") << "click 1, ctrl+key a" << QStringList{};
    QTest::newRow("a result alone") << "click 6" << QStringList{"a.png", "b.png", "c.png", "d.png"};
}

void FileListTests::removingTheSelectedQueuedFiles() {
    QFETCH(QString, gestures);
    QFETCH(QStringList, left);
    HistoryStore store{fs::path{}};
    CompressView view(store);
    Settle settle;
    Synth::TempDir dir;
    Synth::writeFile(dir / "done.png", Bytes(10, 1));
    view.setCompressor([](const fs::path&, SizeTarget) { return std::optional<Bytes>(); });
    view.batch().append({{Uuid{}, dir / "done.png", dir / "done-small.jpg", std::nullopt}});
    view.compress();
    QTRY_VERIFY(!view.batch().working());
    for (const char* name : {"a.png", "b.png", "c.png", "d.png"}) {
        view.batch().append({{Uuid{}, dir / name, dir / name, std::nullopt}});
    }
    makeActive(view);
    FileListView& list = view.list();
    QCOMPARE(list.resultRow(0), 6); // label, four files, "DONE", the result
    for (const QString& gesture : gestures.split(QStringLiteral(", "))) {
        const QStringList words = gesture.split(' ');
        const Qt::KeyboardModifiers modifiers = words[0].startsWith("shift")  ? Qt::ShiftModifier
                                                : words[0].startsWith("ctrl") ? Qt::ControlModifier
                                                                              : Qt::NoModifier;
        if (words[0].endsWith("key")) {
            const Qt::Key key = words[1] == "down"    ? Qt::Key_Down
                                : words[1] == "space" ? Qt::Key_Space
                                                      : Qt::Key_A;
            QTest::keyClick(&list, key, modifiers);
        } else {
            QTest::mouseClick(list.viewport(), Qt::LeftButton, modifiers,
                              centreOfRow(list, words[1].toInt()));
        }
    }
    QTest::keyClick(&list, Qt::Key_Delete);
    QStringList queued;
    for (const auto& job : view.batch().queue()) {
        queued << QString::fromStdString(job.name());
    }
    QCOMPARE(queued, left);
    QCOMPARE(ShownRows::queuedNames(list), left);
    QCOMPARE(ShownRows::results(list).size(), std::size_t{1});
}

// During a batch a multi-selection leaves the queue at once: of the removed files, the one in
// progress still gives its row and those not started are skipped; the others run as queued.
void FileListTests::removingDuringABatchSkipsTheUnstartedFiles() {
    HistoryStore store{fs::path{}};
    OCRView view(store);
    QSemaphore started;
    QSemaphore gate;
    Settle settle{&gate};
    view.batch().append(Paths{"/in/a.png", "/in/b.png", "/in/c.png", "/in/d.png", "/in/e.png"});
    makeActive(view);
    QVERIFY(view.batch().start([&](const Paths& snapshot, const WorkContext& context) {
        std::vector<ResultRow> rows;
        for (std::size_t i = 0; i < snapshot.size(); ++i) {
            if (context.skipped(i)) {
                continue;
            }
            context.events({BatchEvent::Kind::fileStarted, i, snapshot.size()});
            started.release();
            gate.acquire();
            rows.push_back({Uuid{}, snapshot[i].filename().string(), std::nullopt, {}});
            context.events({BatchEvent::Kind::fileFinished, i, snapshot.size()});
        }
        return rows;
    }));
    QVERIFY(started.tryAcquire(1, 5000)); // a.png is in progress
    FileListView& list = view.list();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, centreOfRow(list, list.queueRow(0)));
    for (const std::size_t position : {2, 3}) {
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier,
                          centreOfRow(list, list.queueRow(position)));
    }
    QVERIFY(list.removeAction().isEnabled());
    QTest::keyClick(&list, Qt::Key_Delete);
    QCOMPARE(ShownRows::queuedNames(list), (QStringList{"b.png", "e.png"}));
    QTRY_COMPARE(view.batch().progress().fileCount, std::size_t{3});
    gate.release(3);
    QTRY_VERIFY(!view.batch().working());
    QStringList rows;
    for (const ShownRows::Row& row : ShownRows::results(list)) {
        rows << row.name;
    }
    QCOMPARE(rows, (QStringList{"a.png", "b.png", "e.png"}));
    QVERIFY(view.batch().queue().empty());
    QCOMPARE(store.entries().size(), std::size_t{3});
}

void FileListTests::resultRowsRevealDragAndReadAloud() {
    Synth::TempDir dir;
    Synth::writeFile(dir / "kept.pdf", Bytes(10, 1));
    const QString kept = QString::fromStdString((dir / "kept.pdf").string());
    const QString gone = QString::fromStdString((dir / "gone.pdf").string());
    const std::vector<ResultRowContent> contents = {
        {QStringLiteral("kept.jpg"), kept, QStringLiteral("searchable PDF")},
        {QStringLiteral("gone.jpg"), gone, QStringLiteral("searchable PDF")},
        {QStringLiteral("bad.jpg"), std::nullopt, QStringLiteral("No text found")}};
    FileListView list({QStringLiteral("doc"), QString(), false}, QString());
    list.resultModel().reset(contents.size(), [&](std::size_t i) { return contents[i]; });
    makeActive(list);
    QSignalSpy reveals(&list, &FileListView::revealRequested);

    // From the keyboard: arrows move, Enter reveals a saved row only.
    list.setFocus();
    QTest::keyClick(&list, Qt::Key_Home);
    QTest::keyClick(&list, Qt::Key_Return);
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(reveals.count(), 1);
    QCOMPARE(reveals.at(0).at(0).toString(), kept);
    // With the mouse: the link only.
    QStyleOptionViewItem option;
    option.initFrom(list.viewport());
    option.font = list.font();
    option.widget = &list;
    option.rect = list.visualRect(list.model()->index(1, 0));
    const QRect link = list.rowDelegate().revealRect(option, list.model()->index(1, 0));
    QVERIFY(!link.isEmpty());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, link.center());
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, QPoint(40, link.center().y()));
    QCOMPARE(reveals.count(), 2);
    QCOMPARE(reveals.at(1).at(0).toString(), gone);

    const auto rows = ShownRows::results(list);
    QCOMPARE(rows[0].dragsFile, true);
    QCOMPARE(rows[1].dragsFile, false); // its file is gone: an empty item
    QCOMPARE(rows[2].dragsFile, false);
    const QModelIndex bad = list.model()->index(2, 0);
    QCOMPARE(bad.data(Qt::AccessibleTextRole).toString(), QStringLiteral("bad.jpg, No text found"));
    QCOMPARE(bad.data(Qt::AccessibleDescriptionRole).toString(), QStringLiteral("Nothing saved"));
    QVERIFY(list.model()
                ->index(0, 0)
                .data(Qt::AccessibleDescriptionRole)
                .toString()
                .contains(QStringLiteral("Enter")));
}

// Each case: the screen, the files there, those already dropped, those chosen in the dialog
// ("/" alone: Add Folder… with the folder), and the names queued in the end.
void FileListTests::addFilesGoesThroughTheDropPath_data() {
    QTest::addColumn<QString>("screen");
    QTest::addColumn<QStringList>("dropped");
    QTest::addColumn<QStringList>("chosen");
    QTest::addColumn<QStringList>("queued");
    QTest::addColumn<QString>("pattern");
    QTest::newRow("compress, one already dropped")
        << "compress" << QStringList{"a.png"} << QStringList{"a.png", "b.pdf", "notes.txt"}
        << QStringList{"a.png", "b.pdf"} << "*.heic *.HEIC";
    QTest::newRow("compress, a folder") << "compress" << QStringList{} << QStringList{"/"}
                                        << QStringList{"a.png", "b.pdf", "scan.tiff"} << "*.gif";
    QTest::newRow("ocr") << "ocr" << QStringList{"scan.tiff"}
                         << QStringList{"scan.tiff", "a.png", "notes.txt"}
                         << QStringList{"scan.tiff", "a.png"} << "*.tiff *.TIFF";
    QTest::newRow("pdf tools") << "pdf" << QStringList{} << QStringList{"a.png", "b.pdf"}
                               << QStringList{"b.pdf"} << "PDFs (*.pdf *.PDF)";
    QTest::newRow("cancelled") << "ocr" << QStringList{} << QStringList{} << QStringList{}
                               << "*.png";
}

void FileListTests::addFilesGoesThroughTheDropPath() {
    QFETCH(QString, screen);
    QFETCH(QStringList, dropped);
    QFETCH(QStringList, chosen);
    QFETCH(QStringList, queued);
    QFETCH(QString, pattern);
    Synth::TempDir dir;
    for (const char* name : {"a.png", "b.pdf", "notes.txt", "scan.tiff"}) {
        Synth::writeFile(dir / name, Bytes(10, 1));
    }
    const auto located = [&](const QStringList& names) {
        QStringList paths;
        for (const QString& name : names) {
            paths << QString::fromStdString(
                (name == "/" ? dir.path() : dir / name.toStdString()).string());
        }
        return paths;
    };
    HistoryStore store{fs::path{}};
    std::unique_ptr<QWidget> view;
    FilePicker* picker = nullptr;
    DropHandlerBase* drops = nullptr;
    std::function<QStringList()> names;
    if (screen == "compress") {
        auto* compress = new CompressView(store);
        view.reset(compress);
        picker = &compress->picker();
        drops = &compress->drops();
        names = [compress] { return ShownRows::queuedNames(compress->list()); };
    } else {
        auto* files = screen == "ocr" ? static_cast<FileQueueScreen*>(new OCRView(store))
                                      : new PDFToolsView(store);
        view.reset(files);
        picker = &files->picker();
        drops = &files->drops();
        names = [files] { return ShownRows::queuedNames(files->list()); };
    }
    QList<QUrl> urls;
    for (const QString& path : located(dropped)) {
        urls << QUrl::fromLocalFile(path);
    }
    drops->handleUrls(urls);
    QTRY_COMPARE(drops->pending(), 0);

    QString filterSeen;
    FilePicker::Kind kindSeen = FilePicker::Kind::files;
    QWidget* parentSeen = nullptr;
    picker->setChooser([&](QWidget* parent, FilePicker::Kind kind, const QString& filter) {
        parentSeen = parent;
        kindSeen = kind;
        filterSeen = filter;
        return located(chosen);
    });
    const bool folder = chosen == QStringList{"/"};
    const QString button = folder ? QStringLiteral("addFolder") : QStringLiteral("addFiles");
    QTest::mouseClick(view->findChild<QPushButton*>(button), Qt::LeftButton);
    QTRY_COMPARE(drops->pending(), 0);
    QCOMPARE(parentSeen, view.get());
    QCOMPARE(kindSeen, folder ? FilePicker::Kind::folder : FilePicker::Kind::files);
    QVERIFY2(filterSeen.contains(pattern), qPrintable(filterSeen));
    QStringList shown = names();
    shown.sort();
    queued.sort();
    QCOMPARE(shown, queued);
}

// Handing each of 2,000 files over on its own would append, and redraw, 2,000 times; those
// resolved while the window was busy arrive together.
void FileListTests::aDropOfThousandsArrivesInFewAppends() {
    HistoryStore store{fs::path{}};
    OCRView view(store);
    QList<QUrl> urls;
    for (int i = 0; i < 2000; ++i) {
        const QUrl url = QUrl::fromLocalFile(QStringLiteral("/scans/page-%1.png").arg(i));
        urls << url << url;
    }
    QSignalSpy appends(&view.batch(), &BatchControllerBase::queueChanged);
    QMimeData data;
    data.setUrls(urls);
    view.handleDrop(data);
    QThreadPool::globalInstance()->waitForDone(); // every URL resolved, none handed over yet
    QTRY_COMPARE(view.drops().pending(), 0);
    QCOMPARE(appends.count(), 1);
    QCOMPARE(view.batch().queueSize(), std::size_t{2000});
    QCOMPARE(view.list().queueModel().fileCount(), std::size_t{2000});
}

void FileListTests::tenThousandQueuedFilesAreListedAndDrawn() {
    Paths queue;
    for (int i = 1; i <= 10000; ++i) {
        queue.push_back("/photos/IMG_" + std::to_string(i) + ".jpg");
    }
    FileListView list({QStringLiteral("photo"), QStringLiteral("TO COMPRESS \u00B7 %1"), true},
                      QStringLiteral("DONE"));
    list.resize(760, 400);
    list.show();
    syncTo(list.queueModel(), queue);
    QVERIFY(!list.grab().isNull());
    list.scrollToBottom();
    QVERIFY(!list.grab().isNull());
    const QModelIndex last = list.indexAt(QPoint(100, list.viewport()->height() - 30));
    QCOMPARE(last.data().toString(), QStringLiteral("IMG_10000.jpg"));
    QCOMPARE(last.data(FileListRoles::DetailRole).toString(), QStringLiteral("Zero KB"));
    QCOMPARE(list.model()->index(0, 0).data().toString(),
             QStringLiteral("TO COMPRESS \u00B7 10000"));
}

QTEST_MAIN(FileListTests)
#include "FileListTests.moc"
