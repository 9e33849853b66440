// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryStore.h"
#include "Platform/PdfDocument.h"
#include "ShownRows.h"
#include "Views/Appearance.h"
#include "Views/DropHandler.h"
#include "Views/DropHint.h"
#include "Views/PDFToolsView.h"
#include "support/OutlinePdf.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QUrl>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace PT = PDFToolsWorkflow;

namespace {

QUrl urlOf(const fs::path& path) {
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

void drop(PDFToolsView& view, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &enter);
    QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &event);
    QVERIFY(event.isAccepted());
    QTRY_COMPARE(view.drops().pending(), 0);
}

// Drops each file on its own, so that the queue keeps the given order.
void dropInOrder(PDFToolsView& view, const fs::path& dir, const QStringList& names) {
    for (const QString& name : names) {
        drop(view, {urlOf(dir / name.toStdString())});
    }
}

QComboBox* picker(PDFToolsView& view) {
    return view.findChild<QComboBox*>(QStringLiteral("operation"));
}
QSpinBox* stepper(PDFToolsView& view) {
    return view.findChild<QSpinBox*>(QStringLiteral("every"));
}
QLineEdit* rangeField(PDFToolsView& view) {
    return view.findChild<QLineEdit*>(QStringLiteral("range"));
}

QCheckBox* keepBox(PDFToolsView& view) {
    return view.findChild<QCheckBox*>(QStringLiteral("keepBookmarks"));
}

// A PDF of `pages` text pages, or, for pages 0, bytes that are not a PDF.
void writePdf(const fs::path& path, int pages) {
    fs::create_directories(path.parent_path());
    Synth::writeFile(path, pages > 0 ? SynthPdf::textPages(pages)
                                     : Bytes{'n', 'o', 't', ' ', 'a', ' ', 'p', 'd', 'f'});
}

int pagesOf(const fs::path& path) {
    const auto document = PdfDocument::openFile(path);
    return document ? document->pageCount() : -1;
}

// Declared after the view: however a test ends, its batch finishes while the store lives.
struct Settle {
    ~Settle() { BatchControllerBase::waitForAll(); }
};

} // namespace

class PDFToolsViewTests : public QObject {
    Q_OBJECT

private slots:
    void keepBookmarksReachesTheMerge();
    void startsEmptyWithItsTexts();
    void controlsShownPerOperation_data();
    void controlsShownPerOperation();
    void stepperStopsAtItsBounds();
    void dropsQueuePdfsOnce();
    void runWritesOutputsAndLogsRows_data();
    void runWritesOutputsAndLogsRows();
    void optionsChangedDuringRunApplyToTheNext();
    void unwritableOutputSaysCouldntSave();
};

void PDFToolsViewTests::startsEmptyWithItsTexts() {
    HistoryStore store{fs::path{}};
    PDFToolsView view(store);
    QVERIFY(view.showsEmptyState());
    QCOMPARE(view.runButton().text(), QStringLiteral("Run"));
    QVERIFY(!view.runButton().isEnabled());
    auto* header = view.findChild<QWidget*>(QStringLiteral("header"));
    QCOMPARE(header->findChild<QLabel*>(QStringLiteral("headline"))->text(),
             QStringLiteral("PDF Tools"));
    QCOMPARE(header->findChildren<QLabel*>().first()->property("symbol").toString(),
             QStringLiteral("doc.on.doc"));

    auto* title = view.findChild<QLabel*>(QStringLiteral("title"));
    QCOMPARE(title->text(), QStringLiteral("Drop PDFs"));
    // The larger title style here, not the third-level one of the other working screens.
    QCOMPARE(title->font(), Appearance::title(view.font(), QFont::DemiBold));
    const QString text = view.findChild<QLabel*>(QStringLiteral("text"))->text();
    QVERIFY(text.startsWith(QStringLiteral(
        "Merge several into one, split into chunks, or pull out a page range. On your ")));
    QCOMPARE(view.findChild<DropHint*>()->text(), QStringLiteral("Drop PDFs"));

    QComboBox* ops = picker(view);
    QCOMPARE(ops->count(), 4);
    QCOMPARE(ops->itemText(0), QStringLiteral("Merge"));
    QCOMPARE(ops->itemText(1), QStringLiteral("Split every N"));
    QCOMPARE(ops->itemText(2), QStringLiteral("Extract pages"));
    QCOMPARE(ops->itemText(3), QStringLiteral("Split at bookmarks"));
    QCOMPARE(ops->width(), 150);
    QCOMPARE(view.options().op, PT::Op::merge);
    QCOMPARE(view.options().splitN, std::int64_t{10});
    QCOMPARE(rangeField(view)->text(), QStringLiteral("1-5"));
    QCOMPARE(rangeField(view)->placeholderText(), QStringLiteral("1-5"));
    QCOMPARE(rangeField(view)->width(), 64);
    QVERIFY(rangeField(view)->hasFrame());

    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QTest::keyClick(&view, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(!view.batch().working());
}

void PDFToolsViewTests::controlsShownPerOperation_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<PT::Op>("op");
    QTest::addColumn<bool>("stepperShown");
    QTest::addColumn<bool>("rangeShown");
    QTest::addColumn<bool>("keepShown");
    QTest::newRow("merge") << 0 << PT::Op::merge << false << false << true;
    QTest::newRow("split") << 1 << PT::Op::split << true << false << true;
    QTest::newRow("extract") << 2 << PT::Op::extract << false << true << true;
    // A split at bookmarks keeps each part's bookmarks: nothing to choose.
    QTest::newRow("split at bookmarks") << 3 << PT::Op::splitAtBookmarks << false << false << false;
}

void PDFToolsViewTests::controlsShownPerOperation() {
    QFETCH(int, index);
    QFETCH(PT::Op, op);
    QFETCH(bool, stepperShown);
    QFETCH(bool, rangeShown);
    QFETCH(bool, keepShown);
    HistoryStore store{fs::path{}};
    PDFToolsView view(store);
    view.show();
    picker(view)->setCurrentIndex((index + 1) % 4); // arrive from another operation
    picker(view)->setCurrentIndex(index);
    QCOMPARE(view.options().op, op);
    QCOMPARE(stepper(view)->isVisible(), stepperShown);
    QCOMPARE(rangeField(view)->isVisible(), rangeShown);
    QCOMPARE(keepBox(view)->isVisible(), keepShown);
    QVERIFY(!keepBox(view)->isChecked());
    // The controls sit in the header, in this order, before the run button.
    auto* row = view.findChild<QWidget*>(QStringLiteral("header"))->layout();
    QVERIFY(row->indexOf(picker(view)) < row->indexOf(stepper(view)));
    QVERIFY(row->indexOf(stepper(view)) < row->indexOf(rangeField(view)));
    QVERIFY(row->indexOf(rangeField(view)) < row->indexOf(keepBox(view)));
    QVERIFY(row->indexOf(keepBox(view)) < row->indexOf(&view.runButton()));
    // Tab goes through them in the same order, then "Add Files…", Stop (while working) and the
    // run button.
    QList<QWidget*> tabbed;
    for (QWidget* next = view.nextInFocusChain(); next != &view && tabbed.size() < 7;
         next = next->nextInFocusChain()) {
        if (next->focusPolicy() & Qt::TabFocus && !next->focusProxy()) {
            tabbed << next;
        }
    }
    QCOMPARE(tabbed, (QList<QWidget*>{picker(view), stepper(view), rangeField(view), keepBox(view),
                                      view.findChild<QPushButton*>(QStringLiteral("addFiles")),
                                      view.findChild<QPushButton*>(QStringLiteral("stop")),
                                      &view.runButton()}));
}

void PDFToolsViewTests::stepperStopsAtItsBounds() {
    HistoryStore store{fs::path{}};
    PDFToolsView view(store);
    QSpinBox* every = stepper(view);
    QCOMPARE(every->text(), QStringLiteral("every 10"));
    every->setValue(2);
    every->stepDown();
    QCOMPARE(every->value(), 1);
    every->stepDown();
    QCOMPARE(every->value(), 1);
    every->setValue(499);
    every->stepUp();
    every->stepUp();
    QCOMPARE(every->value(), 500);
    QCOMPARE(every->text(), QStringLiteral("every 500"));
    every->setValue(100000);
    QCOMPARE(view.options().splitN, std::int64_t{500});
}

void PDFToolsViewTests::dropsQueuePdfsOnce() {
    Synth::TempDir dir;
    writePdf(dir / "Scan.PDF", 1);
    writePdf(dir / "a.pdf", 1);
    Synth::writeFile(dir / "notes.txt", Bytes{'x'});
    writePdf(dir / "folder" / "inner.pdf", 1);
    fs::create_directories(dir / "looks-like.pdf");
    HistoryStore store{fs::path{}};
    PDFToolsView view(store);
    const QList<QUrl> urls = {urlOf(dir / "Scan.PDF"),
                              urlOf(dir / "notes.txt"),
                              urlOf(dir / "folder"),
                              urlOf(dir / "looks-like.pdf"),
                              urlOf(dir / "a.pdf"),
                              urlOf(dir / "a.pdf"),
                              QUrl(QStringLiteral("https://example.org/x.pdf"))};
    drop(view, urls);
    drop(view, urls);
    QStringList names = ShownRows::queuedNames(view.list());
    names.sort();
    QCOMPARE(names, (QStringList{"Scan.PDF", "a.pdf"}));
    QVERIFY(!view.showsEmptyState());
    QVERIFY(view.runButton().isEnabled());
}

// Each case: the queued files with their page counts (0: damaged), the operation's controls,
// and the rows expected as "name|note" ("+" after the note: saved, with that page count).
void PDFToolsViewTests::runWritesOutputsAndLogsRows_data() {
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<int>("op");
    QTest::addColumn<int>("every");
    QTest::addColumn<QString>("range");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("merge skips a damaged file")
        << QStringList{"a.pdf:2", "bad.pdf:0", "b.pdf:3"} << 0 << 10 << "1-5"
        << QStringList{"merged.pdf|5 pages+"};
    QTest::newRow("merge of one page says pages")
        << QStringList{"one.pdf:1"} << 0 << 10 << "" << QStringList{"merged.pdf|1 pages+"};
    QTest::newRow("merge beside an earlier merged.pdf")
        << QStringList{"merged.pdf:1", "b.pdf:2"} << 0 << 10 << "1-5"
        << QStringList{"merged 2.pdf|3 pages+"};
    QTest::newRow("merge of damaged files only")
        << QStringList{"x.pdf:0", "y.pdf:0"} << 0 << 10 << "1-5"
        << QStringList{"merge|Need at least one valid PDF"};
    QTest::newRow("split ignores a bad range")
        << QStringList{"report.pdf:25", "bad.pdf:0"} << 1 << 10 << "abc"
        << QStringList{"report-part1.pdf|10p+", "report-part2.pdf|10p+", "report-part3.pdf|5p+",
                       "bad.pdf|Couldn't open"};
    QTest::newRow("extract a range cut to each file")
        << QStringList{"a.pdf:10", "short.pdf:3", "bad.pdf:0"} << 2 << 10 << " 2 - 4 "
        << QStringList{"a-p2-4.pdf|3p+", "short-p2-4.pdf|2p+", "bad.pdf|Couldn't open"};
    QTest::newRow("extract beyond the end")
        << QStringList{"a.pdf:10"} << 2 << 10 << "11-12" << QStringList{"a.pdf|Bad range"};
    QTest::newRow("extract with reversed bounds")
        << QStringList{"a.pdf:10", "b.pdf:4"} << 2 << 10 << "5-3"
        << QStringList{"a.pdf|Bad range", "b.pdf|Bad range"};
}

void PDFToolsViewTests::runWritesOutputsAndLogsRows() {
    QFETCH(QStringList, files);
    QFETCH(int, op);
    QFETCH(int, every);
    QFETCH(QString, range);
    QFETCH(QStringList, rows);
    Synth::TempDir dir;
    QStringList names;
    for (const QString& file : files) {
        names << file.section(':', 0, 0);
        writePdf(dir / names.back().toStdString(), file.section(':', 1).toInt());
    }
    HistoryStore store{fs::path{}};
    PDFToolsView view(store);
    Settle settle;
    picker(view)->setCurrentIndex(op);
    stepper(view)->setValue(every);
    rangeField(view)->setText(range);
    dropInOrder(view, dir.path(), names);
    // Started from the keyboard while the operation's own control has the focus.
    view.show();
    QApplication::setActiveWindow(&view);
    QVERIFY(QTest::qWaitForWindowActive(&view));
    QWidget* control = op == 2 ? static_cast<QWidget*>(rangeField(view)) : stepper(view);
    control = op == 0 ? picker(view) : control;
    control->setFocus();
    QTest::keyClick(control, Qt::Key_Return, Qt::ControlModifier);
    QVERIFY(view.batch().working());
    QCOMPARE(view.runButton().text(), QStringLiteral("Working\u2026"));
    QTRY_VERIFY_WITH_TIMEOUT(!view.batch().working(), 30000);

    const auto shown = ShownRows::results(view.list());
    QCOMPARE(shown.size(), std::size_t(rows.size()));
    QCOMPARE(store.entries().size(), std::size_t(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        const QString name = rows[i].section('|', 0, 0);
        QString note = rows[i].section('|', 1);
        const bool saved = note.endsWith('+');
        note.chop(saved ? 1 : 0);
        const auto& row = shown[std::size_t(i)];
        QCOMPARE(row.name, name);
        QCOMPARE(row.detail, note);
        QCOMPARE(row.saved.has_value(), saved);
        QCOMPARE(row.symbol,
                 saved ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("info.circle"));
        const HistoryEntry& entry = store.entries()[std::size_t(rows.size() - 1 - i)];
        QCOMPARE(entry.mode, std::string("PDF Tools"));
        QCOMPARE(QString::fromStdString(entry.input), name);
        QCOMPARE(entry.note, std::optional<std::string>(note.toStdString()));
        QVERIFY(!entry.before && !entry.after);
        QCOMPARE(entry.outputPath.has_value(), saved);
        if (saved) {
            const fs::path written = dir / name.toStdString();
            QCOMPARE(entry.outputPath, std::optional<std::string>(written.string()));
            const int pages = note.section(' ', 0, 0).remove('p').toInt();
            QCOMPARE(pagesOf(written), pages);
        }
    }
    QVERIFY(view.batch().queue().empty());
    QCOMPARE(view.runButton().text(), QStringLiteral("Run"));
    QVERIFY(!view.runButton().isEnabled());
}

// The controls stay editable during a run, and the run keeps the options it started with; a
// file queued meanwhile leaves the queue unprocessed when the run ends.
// Checked, the box reaches the batch: the merge nests each input's bookmarks under its name.
void PDFToolsViewTests::keepBookmarksReachesTheMerge() {
    Synth::TempDir dir;
    OutlinePdf::Layout book;
    book.pageCount = 3;
    book.outline = {{"Chapter", 2}};
    Synth::writeFile(dir / "book.pdf", OutlinePdf::make(book));
    HistoryStore store{fs::path{}};
    PDFToolsView view(store);
    Settle settle;
    keepBox(view)->setChecked(true);
    drop(view, {urlOf(dir / "book.pdf")});
    view.run();
    QTRY_VERIFY_WITH_TIMEOUT(!view.batch().working(), 30000);
    const auto outline = OutlinePdf::outlineOf(Synth::readFile(dir / "merged.pdf"));
    QCOMPARE(outline.size(), std::size_t{2});
    QCOMPARE(outline[0].title, std::string("book"));
    QCOMPARE(outline[1].title, std::string("Chapter"));
    QCOMPARE(outline[1].page, 2);
}

void PDFToolsViewTests::optionsChangedDuringRunApplyToTheNext() {
    Synth::TempDir dir;
    writePdf(dir / "doc.pdf", 4);
    writePdf(dir / "late.pdf", 2);
    HistoryStore store{fs::path{}};
    PDFToolsView view(store);
    Settle settle;
    picker(view)->setCurrentIndex(1);
    stepper(view)->setValue(3);
    drop(view, {urlOf(dir / "doc.pdf")});
    view.run();
    // Until control returns to the event loop the run cannot finish, so these changes are
    // certain to happen during it.
    QVERIFY(view.batch().working());
    QVERIFY(picker(view)->isEnabled() && stepper(view)->isEnabled());
    picker(view)->setCurrentIndex(2);
    rangeField(view)->setText(QStringLiteral("2"));
    view.batch().append({dir / "late.pdf"});
    QCOMPARE(view.list().queueModel().fileCount(), std::size_t{2});
    QTRY_VERIFY_WITH_TIMEOUT(!view.batch().working(), 30000);

    auto rows = ShownRows::results(view.list());
    QCOMPARE(rows.size(), std::size_t{2});
    QCOMPARE(rows[0].name, QStringLiteral("doc-part1.pdf"));
    QCOMPARE(rows[1].detail, QStringLiteral("1p"));
    QVERIFY(view.batch().queue().empty());
    QVERIFY(!fs::exists(dir / "late-part1.pdf"));

    drop(view, {urlOf(dir / "doc.pdf")});
    view.run();
    QTRY_VERIFY_WITH_TIMEOUT(!view.batch().working(), 30000);
    rows = ShownRows::results(view.list());
    QCOMPARE(rows.size(), std::size_t{1});
    QCOMPARE(rows[0].name, QStringLiteral("doc-p2-2.pdf"));
    QCOMPARE(rows[0].detail, QStringLiteral("1p"));
    QCOMPARE(store.entries().size(), std::size_t{3});
}

// A chunk name longer than the file system allows cannot be written, even by root.
void PDFToolsViewTests::unwritableOutputSaysCouldntSave() {
    Synth::TempDir dir;
    const std::string base(248, 'r');
    writePdf(dir / (base + ".pdf"), 2);
    HistoryStore store{fs::path{}};
    PDFToolsView view(store);
    Settle settle;
    picker(view)->setCurrentIndex(1);
    drop(view, {urlOf(dir / (base + ".pdf"))});
    view.run();
    QTRY_VERIFY_WITH_TIMEOUT(!view.batch().working(), 30000);
    const auto rows = ShownRows::results(view.list());
    QCOMPARE(rows.size(), std::size_t{1});
    QCOMPARE(rows[0].name, QString::fromStdString(base + "-part1.pdf"));
    QCOMPARE(rows[0].detail, QStringLiteral("Couldn't save"));
    QVERIFY(!rows[0].saved);
    QCOMPARE(store.entries().size(), std::size_t{1});
    QVERIFY(!store.entries()[0].outputPath);
    QCOMPARE(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

QTEST_MAIN(PDFToolsViewTests)
#include "PDFToolsViewTests.moc"
