// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PdfDocument.h"
#include "Workflows/PDFToolsWorkflow.h"
#include "support/Corpus.h"
#include "support/OutlinePdf.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <optional>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace PT = PDFToolsWorkflow;
using PDFOps::PageRange;

namespace {

const std::string kCouldntOpen = "Couldn't open";
const std::string kBadRange = "Bad range";
const std::string kCouldntSave = "Couldn't save";
const std::string kNeedOnePdf = "Need at least one valid PDF";

std::string noteOf(const ResultRow& row) {
    return ResultRows::note(row, Screen::pdfTools);
}

fs::path makePdf(const Synth::TempDir& dir, const std::string& name, int pages,
                 const std::string& line = "Page") {
    Synth::writeFile(dir / name, SynthPdf::textPages(pages, line));
    return dir / name;
}

fs::path makeDamaged(const Synth::TempDir& dir, const std::string& name) {
    Synth::writeFile(dir / name, Bytes{'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n', 'x'});
    return dir / name;
}

int pagesIn(const fs::path& file) {
    const auto document = PdfDocument::openFile(file);
    return document ? document->pageCount() : -1;
}

// The first text line of a page made by SynthPdf::textPages, e.g. "Page 500".
std::string firstLine(const fs::path& file, int pageIndex) {
    QPDF pdf;
    pdf.processFile(file.c_str());
    auto pages = QPDFPageDocumentHelper(pdf).getAllPages();
    std::string content;
    for (auto& stream : pages.at(pageIndex).getPageContents()) {
        const auto buffer = stream.getStreamData(qpdf_dl_generalized);
        content.append(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
    }
    const std::size_t open = content.find('(');
    return content.substr(open + 1, content.find(')', open) - open - 1);
}

// Every file of a folder with its bytes: a run must leave all of them exactly as they were.
std::map<std::string, Bytes> contents(const fs::path& folder) {
    std::map<std::string, Bytes> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        files[entry.path().filename().string()] = Synth::readFile(entry.path());
    }
    return files;
}

void expectUnchanged(const std::map<std::string, Bytes>& before, const fs::path& folder) {
    const auto after = contents(folder);
    for (const auto& [name, bytes] : before) {
        ASSERT_TRUE(after.count(name)) << name << " disappeared";
        EXPECT_TRUE(after.at(name) == bytes) << name << " changed";
    }
}

bool leftTemporaryFiles(const fs::path& folder) {
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().find(".parvo-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

PT::Options opts(PT::Op op, std::int64_t splitN = 10, std::optional<PageRange> range = {}) {
    return PT::Options{op, splitN, range};
}

// What a test expects of a row: name, note, and whether it was saved (then beside the source).
void expectRow(const ResultRow& row, const fs::path& folder, const std::string& name,
               const std::string& note, bool saved) {
    EXPECT_EQ(row.name, name);
    EXPECT_EQ(noteOf(row), note) << name;
    ASSERT_EQ(row.saved.has_value(), saved) << name;
    if (saved) {
        EXPECT_EQ(*row.saved, folder / name);
        EXPECT_TRUE(fs::is_regular_file(*row.saved)) << name;
    }
}

TEST(PDFToolsRange, ParsesEveryFormOfTheRangeText) {
    const std::string nines(20, '9');
    const struct {
        std::string text;
        std::optional<PageRange> range;
    } cases[] = {
        {"1-5", PageRange{1, 5}},
        {" 2 - 4 ", PageRange{2, 4}},
        {"\t2\t-\t4\t", PageRange{2, 4}},
        {"7", PageRange{7, 7}},
        {"3-", PageRange{3, 3}},
        {"-3", PageRange{3, 3}},
        {"1--5", PageRange{1, 5}},
        {"+2-+4", PageRange{2, 4}},
        {"+02-4", PageRange{2, 4}},
        {"x-5", PageRange{5, 5}},
        {"1-" + nines, PageRange{1, 1}},
        {"9223372036854775807", PageRange{INT64_MAX, INT64_MAX}},
        {"1-9223372036854775807", PageRange{1, INT64_MAX}},
        {"5-3", std::nullopt},
        {"0-3", std::nullopt},
        {"0", std::nullopt},
        {"1-5-9", std::nullopt},
        {"", std::nullopt},
        {"abc", std::nullopt},
        {"-", std::nullopt},
        {"+-3", PageRange{3, 3}},
        {"++3", std::nullopt},
        {"2\n-4", PageRange{4, 4}}, // line breaks are not trimmed: "2\n" is dropped
        {"1.5", std::nullopt},
        {"4 4", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PT::parseRange(c.text), c.range) << '"' << c.text << '"';
    }
}

TEST(PDFToolsAccepts, TakesPdfFilesOfAnyCaseButNoFolders) {
    Synth::TempDir dir;
    fs::create_directory(dir / "Folder.pdf");
    EXPECT_TRUE(PT::accepts(dir / "Scan.PDF"));
    EXPECT_TRUE(PT::accepts(dir / "a.b.pdf"));
    EXPECT_FALSE(PT::accepts(dir / "notes.txt"));
    EXPECT_FALSE(PT::accepts(dir / "pdf"));
    EXPECT_FALSE(PT::accepts(dir / "Folder.pdf"));
    EXPECT_EQ(PT::label(PT::Op::split), "Split every N");
}

TEST(PDFToolsMerge, JoinsReadableFilesInOrderBesideTheFirst) {
    Synth::TempDir dir;
    const std::vector<fs::path> queue = {makePdf(dir, "a.pdf", 2, "Alpha"),
                                         makeDamaged(dir, "broken.pdf"),
                                         makePdf(dir, "b.pdf", 3, "Beta")};
    const auto sources = contents(dir.path());
    const auto rows = PT::runBatch(queue, opts(PT::Op::merge));
    ASSERT_EQ(rows.size(), 1U);
    expectRow(rows[0], dir.path(), "merged.pdf", "5 pages", true);
    ASSERT_EQ(pagesIn(dir / "merged.pdf"), 5);
    EXPECT_EQ(firstLine(dir / "merged.pdf", 1), "Alpha 50");
    EXPECT_EQ(firstLine(dir / "merged.pdf", 2), "Beta 0");
    expectUnchanged(sources, dir.path());

    // Again: merged.pdf is there now, so the next run takes the unique variant.
    const auto again = PT::runBatch({queue[2]}, opts(PT::Op::merge));
    ASSERT_EQ(again.size(), 1U);
    expectRow(again[0], dir.path(), "merged 2.pdf", "3 pages", true);
    EXPECT_EQ(pagesIn(dir / "merged.pdf"), 5) << "the first result is kept";
}

TEST(PDFToolsMerge, OnePageReadsOnePagesAndNothingValidWritesNothing) {
    Synth::TempDir dir;
    const auto one = PT::runBatch({makePdf(dir, "one.pdf", 1)}, opts(PT::Op::merge));
    ASSERT_EQ(one.size(), 1U);
    expectRow(one[0], dir.path(), "merged.pdf", "1 pages", true);

    Synth::TempDir empty;
    const std::vector<fs::path> damaged = {makeDamaged(empty, "x.pdf"), makeDamaged(empty, "y.pdf"),
                                           empty / "missing.pdf"};
    const auto rows = PT::runBatch(damaged, opts(PT::Op::merge));
    ASSERT_EQ(rows.size(), 1U);
    expectRow(rows[0], empty.path(), "merge", kNeedOnePdf, false);
    EXPECT_EQ(contents(empty.path()).size(), 2U) << "nothing written";
    FolderScan::UsedNames used;
    EXPECT_EQ(noteOf(PT::mergeFiles({}, used)), kNeedOnePdf);
}

TEST(PDFToolsSplit, WritesChunksInOrderAndNeverOverwritesOnARerun) {
    Synth::TempDir dir;
    const fs::path report = makePdf(dir, "report.pdf", 25);
    const fs::path ten = makePdf(dir, "ten.pdf", 10);
    // A bad range text never matters to Split.
    const auto rows = PT::runBatch({report, ten}, opts(PT::Op::split, 10, std::nullopt));
    ASSERT_EQ(rows.size(), 4U);
    expectRow(rows[0], dir.path(), "report-part1.pdf", "10p", true);
    expectRow(rows[1], dir.path(), "report-part2.pdf", "10p", true);
    expectRow(rows[2], dir.path(), "report-part3.pdf", "5p", true);
    expectRow(rows[3], dir.path(), "ten-part1.pdf", "10p", true);
    EXPECT_EQ(pagesIn(dir / "report-part3.pdf"), 5);
    EXPECT_EQ(firstLine(dir / "report-part2.pdf", 0), "Page 500");
    EXPECT_EQ(firstLine(dir / "report-part3.pdf", 4), "Page 1200");

    const auto before = contents(dir.path());
    const auto rerun = PT::runBatch({report}, opts(PT::Op::split, 10));
    ASSERT_EQ(rerun.size(), 3U);
    expectRow(rerun[0], dir.path(), "report-part1 2.pdf", "10p", true);
    expectRow(rerun[2], dir.path(), "report-part3 2.pdf", "5p", true);
    expectUnchanged(before, dir.path());
    EXPECT_EQ(contents(dir.path()).size(), before.size() + 3);
}

TEST(PDFToolsSplit, ChunkSizesAtTheBoundsAndDamagedFiles) {
    Synth::TempDir dir;
    const fs::path three = makePdf(dir, "a.b.pdf", 3);
    const auto ones = PT::runBatch({three}, opts(PT::Op::split, 1));
    ASSERT_EQ(ones.size(), 3U);
    expectRow(ones[2], dir.path(), "a.b-part3.pdf", "1p", true);
    const auto whole = PT::runBatch({three}, opts(PT::Op::split, PT::kMaxSplit));
    ASSERT_EQ(whole.size(), 1U);
    EXPECT_EQ(noteOf(whole[0]), "3p");

    const auto rows =
        PT::runBatch({makeDamaged(dir, "bad.pdf"), dir / "gone.pdf"}, opts(PT::Op::split, 10));
    ASSERT_EQ(rows.size(), 2U);
    expectRow(rows[0], dir.path(), "bad.pdf", kCouldntOpen, false);
    expectRow(rows[1], dir.path(), "gone.pdf", kCouldntOpen, false);
}

TEST(PDFToolsExtract, NamesTheBoundsAsTypedAndCutsToTheDocument) {
    Synth::TempDir dir;
    const fs::path a = makePdf(dir, "a.pdf", 10);
    const auto sources = contents(dir.path());
    const struct {
        const char* text;
        const char* name;
        const char* note;
    } cases[] = {
        {"2-4", "a-p2-4.pdf", "3p"},   {"3", "a-p3-3.pdf", "1p"},
        {"8-20", "a-p8-20.pdf", "3p"}, {"11-12", "a.pdf", "Bad range"},
        {"5-3", "a.pdf", "Bad range"}, {"+02-+04", "a-p2-4 2.pdf", "3p"},
        {"", "a.pdf", "Bad range"},
    };
    for (const auto& c : cases) {
        const auto rows = PT::runBatch({a}, opts(PT::Op::extract, 10, PT::parseRange(c.text)));
        ASSERT_EQ(rows.size(), 1U) << c.text;
        expectRow(rows[0], dir.path(), c.name, c.note, std::string(c.note) != kBadRange);
    }
    EXPECT_EQ(firstLine(dir / "a-p8-20.pdf", 0), "Page 350");
    EXPECT_EQ(contents(dir.path()).size(), sources.size() + 4) << "bad ranges write nothing";
    expectUnchanged(sources, dir.path());
}

TEST(PDFToolsExtract, CouldntOpenComesBeforeTheRangeAndNamesStayUniqueInABatch) {
    Synth::TempDir dir;
    const fs::path bad = makeDamaged(dir, "bad.pdf");
    for (const auto range : {std::optional<PageRange>{}, std::optional(PageRange{1, 2})}) {
        const auto rows = PT::runBatch({bad}, opts(PT::Op::extract, 10, range));
        ASSERT_EQ(rows.size(), 1U);
        expectRow(rows[0], dir.path(), "bad.pdf", kCouldntOpen, false);
    }
    // a.pdf and A.pdf give names that differ only in case: the second takes the next name.
    const std::vector<fs::path> queue = {makePdf(dir, "a.pdf", 2), makePdf(dir, "A.pdf", 2)};
    const auto rows = PT::runBatch(queue, opts(PT::Op::extract, 10, PageRange{1, 1}));
    ASSERT_EQ(rows.size(), 2U);
    expectRow(rows[0], dir.path(), "a-p1-1.pdf", "1p", true);
    expectRow(rows[1], dir.path(), "A-p1-1 2.pdf", "1p", true);
}

// One file per top-level bookmark, named after it: pages before the first go with it, titles
// are made safe, a blank one is numbered, a repeated one takes the next free name; each part
// keeps its own bookmarks. A PDF without bookmarks gets one row saying so.
TEST(PDFToolsSplitAtBookmarks, OneFilePerChapterNamedAfterIt) {
    using OutlinePdf::Item;
    Synth::TempDir dir;
    OutlinePdf::Layout book;
    book.pageCount = 7;
    book.outline = {Item{"Intro", 2},
                    Item{"Part/One", 3, OutlinePdf::Dest::named, false, {Item{"Detail", 4}}},
                    Item{" ", 5}, Item{"Intro", 6}};
    Synth::writeFile(dir / "book.pdf", OutlinePdf::make(book));
    Synth::writeFile(dir / "plain.pdf", SynthPdf::textPages(2));
    const auto rows =
        PT::runBatch({dir / "book.pdf", dir / "plain.pdf"}, opts(PT::Op::splitAtBookmarks));
    ASSERT_EQ(rows.size(), 5U);
    expectRow(rows[0], dir.path(), "book-Intro.pdf", "2p", true);
    expectRow(rows[1], dir.path(), "book-Part-One.pdf", "2p", true);
    expectRow(rows[2], dir.path(), "book-part 3.pdf", "1p", true);
    expectRow(rows[3], dir.path(), "book-Intro 2.pdf", "2p", true);
    expectRow(rows[4], dir.path(), "plain.pdf", "No bookmarks", false);
    const auto part = OutlinePdf::outlineOf(Synth::readFile(dir / "book-Part-One.pdf"));
    EXPECT_EQ(part,
              (std::vector<OutlinePdf::Found>{{0, "Part/One", 1, false}, {1, "Detail", 2, false}}));
}

TEST(PDFToolsSave, AFileAppearingAtTheChosenNameIsKeptAndTheNextNameTaken) {
    Synth::TempDir dir;
    const fs::path a = makePdf(dir, "a.pdf", 2);
    const Bytes planted = {'m', 'i', 'n', 'e'};
    PT::BatchHooks hooks;
    int calls = 0;
    hooks.beforeWrite = [&](const fs::path& chosen) {
        if (calls++ == 0) {
            Synth::writeFile(chosen, planted);
        }
    };
    const auto rows = PT::runBatch({a}, opts(PT::Op::merge), hooks);
    ASSERT_EQ(rows.size(), 1U);
    expectRow(rows[0], dir.path(), "merged 2.pdf", "2 pages", true);
    EXPECT_EQ(Synth::readFile(dir / "merged.pdf"), planted);

    // Something always there first: the attempts are bounded and the row says so.
    FolderScan::UsedNames used;
    calls = 0;
    const auto always = [&](const fs::path& chosen) {
        ++calls;
        Synth::writeFile(chosen, planted);
    };
    const PT::SaveResult result = PT::saveUnique(Bytes(10, 0x25), dir / "x.pdf", used, always);
    EXPECT_FALSE(result.saved);
    EXPECT_EQ(calls, PT::kMaxSaveAttempts);
    EXPECT_EQ(Synth::readFile(result.location), planted);
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
}

TEST(PDFToolsSave, FailedWritesSayCouldntSaveAndKeepTheirNamesUsed) {
    Synth::TempDir dir;
    fs::create_directory(dir / "sub");
    Synth::writeFile(dir / "sub" / "r.pdf", SynthPdf::textPages(2));
    // The folder vanishes after the document was read.
    PT::BatchHooks vanish;
    vanish.beforeWrite = [&](const fs::path&) { fs::remove_all(dir / "sub"); };
    FolderScan::UsedNames used;
    const auto rows = PT::splitFile(dir / "sub" / "r.pdf", 1, used, vanish);
    ASSERT_EQ(rows.size(), 2U);
    expectRow(rows[0], dir / "sub", "r-part1.pdf", kCouldntSave, false);
    expectRow(rows[1], dir / "sub", "r-part2.pdf", kCouldntSave, false);
    EXPECT_TRUE(used.count(FolderScan::usedKey(dir / "sub" / "r-part1.pdf")));
    fs::create_directory(dir / "sub");
    const fs::path again = makePdf(dir, "sub/r.pdf", 1);
    const auto next = PT::splitFile(again, 1, used);
    ASSERT_EQ(next.size(), 1U);
    expectRow(next[0], dir / "sub", "r-part1 2.pdf", "1p", true);
}

TEST(PDFToolsSave, ReadOnlyFolderSaysCouldntSave) {
    Synth::TempDir dir;
    const fs::path a = makePdf(dir, "a.pdf", 2);
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::remove);
    if (std::ofstream(dir / "probe").is_open()) {
        fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
        GTEST_SKIP() << "running as a user who may write into read-only folders";
    }
    const auto rows = PT::runBatch({a}, opts(PT::Op::extract, 10, PageRange{1, 1}));
    fs::permissions(dir.path(), fs::perms::owner_write, fs::perm_options::add);
    ASSERT_EQ(rows.size(), 1U);
    expectRow(rows[0], dir.path(), "a-p1-1.pdf", kCouldntSave, false);
    EXPECT_EQ(contents(dir.path()).size(), 1U);
}

TEST(PDFToolsBatch, AStopEndsItBetweenOutputsWithNoTemporaryFile) {
    Synth::TempDir dir;
    const std::vector<fs::path> queue = {makePdf(dir, "a.pdf", 4), makePdf(dir, "b.pdf", 4)};
    std::stop_source stop;
    PT::BatchHooks hooks;
    hooks.stop = stop.get_token();
    hooks.beforeWrite = [&](const fs::path&) { stop.request_stop(); };
    const auto rows = PT::runBatch(queue, opts(PT::Op::split, 1), hooks);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].name, "a-part1.pdf");
    EXPECT_FALSE(fs::exists(dir / "a-part2.pdf"));
    EXPECT_FALSE(fs::exists(dir / "b-part1.pdf"));
    EXPECT_FALSE(leftTemporaryFiles(dir.path()));
    EXPECT_TRUE(PT::runBatch(queue, opts(PT::Op::merge), hooks).empty());
}

TEST(PDFToolsBatch, HistoryHasOneEntryPerRowWithoutSizes) {
    Synth::TempDir dir;
    const std::vector<fs::path> queue = {makePdf(dir, "a.pdf", 3), makeDamaged(dir, "b.pdf")};
    std::vector<ResultRow> announced;
    PT::BatchHooks hooks;
    hooks.rowDone = [&](const ResultRow& row) { announced.push_back(row); };
    const auto rows = PT::runBatch(queue, opts(PT::Op::extract, 10, PageRange{2, 2}), hooks);
    EXPECT_EQ(announced, rows);
    const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(1'700'000'000));
    const auto entries = PT::historyEntries(rows, [when] { return when; });
    ASSERT_EQ(entries.size(), 2U);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        EXPECT_EQ(entries[i].mode, "PDF Tools");
        EXPECT_EQ(entries[i].input, rows[i].name);
        EXPECT_EQ(entries[i].note, noteOf(rows[i]));
        EXPECT_FALSE(entries[i].before || entries[i].after);
        EXPECT_EQ(entries[i].date.time_since_epoch().count(), 1'700'000'000);
    }
    EXPECT_EQ(entries[0].outputPath, (dir / "a-p2-2.pdf").string());
    EXPECT_FALSE(entries[1].outputPath);
}

TEST(PDFToolsCorpus, OwnerPasswordOnlyWorksAndUserPasswordIsRefused) {
    PARVO_CORPUS_FILE(restricted, "pdfs/enc_aes128_restricted.pdf");
    PARVO_CORPUS_FILE(locked, "pdfs/enc_rc4_userpw_password_scan.pdf");
    Synth::TempDir dir;
    fs::copy_file(restricted, dir / "restricted.pdf");
    fs::copy_file(locked, dir / "locked.pdf");
    const fs::path a = makePdf(dir, "a.pdf", 2);
    const auto sources = contents(dir.path());

    const auto rows = PT::runBatch({dir / "restricted.pdf", dir / "locked.pdf"},
                                   opts(PT::Op::extract, 10, PageRange{1, 1}));
    ASSERT_EQ(rows.size(), 2U);
    expectRow(rows[0], dir.path(), "restricted-p1-1.pdf", "1p", true);
    expectRow(rows[1], dir.path(), "locked.pdf", kCouldntOpen, false);
    const auto merged = PT::runBatch({dir / "locked.pdf", a}, opts(PT::Op::merge));
    ASSERT_EQ(merged.size(), 1U);
    expectRow(merged[0], dir.path(), "merged.pdf", "2 pages", true);
    EXPECT_EQ(pagesIn(dir / "restricted-p1-1.pdf"), 1);
    expectUnchanged(sources, dir.path());
}

TEST(PDFToolsCorpus, DamagedFilesAreRepairedOrCouldntOpen) {
    PARVO_CORPUS_FILE(truncated, "damaged/trunc55_multipage_imageonly.pdf");
    PARVO_CORPUS_FILE(headerOnly, "damaged/upstream_invalid_header_eof.pdf");
    PARVO_CORPUS_FILE(badXref, "damaged/badstartxref_epson.pdf");
    Synth::TempDir dir;
    std::vector<fs::path> queue;
    for (const fs::path& file : {truncated, headerOnly, badXref}) {
        queue.push_back(dir / file.filename());
        fs::copy_file(file, queue.back());
    }
    const auto sources = contents(dir.path());
    const auto rows = PT::runBatch(queue, opts(PT::Op::extract, 10, PageRange{1, 1}));
    ASSERT_EQ(rows.size(), 3U);
    expectRow(rows[0], dir.path(), queue[0].filename().string(), kCouldntOpen, false);
    expectRow(rows[1], dir.path(), queue[1].filename().string(), kCouldntOpen, false);
    expectRow(rows[2], dir.path(), "badstartxref_epson-p1-1.pdf", "1p", true);
    const auto merged = PT::runBatch(queue, opts(PT::Op::merge));
    ASSERT_EQ(merged.size(), 1U);
    expectRow(merged[0], dir.path(), "merged.pdf", "1 pages", true);
    expectUnchanged(sources, dir.path());
}

} // namespace
