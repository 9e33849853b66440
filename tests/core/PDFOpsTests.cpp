// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/PDFOps.h"
#include "LinkedPdf.h"
#include "support/Corpus.h"
#include "support/OutlinePdf.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"

#include <gtest/gtest.h>
#include <limits>
#include <numeric>

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::vector<int> numbers(int first, int last) {
    std::vector<int> list(static_cast<std::size_t>(std::max(0, last - first + 1)));
    std::iota(list.begin(), list.end(), first);
    return list;
}

// The source page numbers a document's pages show, read back from its written bytes so that
// every result is also checked as a file a viewer opens.
std::vector<int> writtenPages(const PdfDocument& document) {
    const auto bytes = document.writeBytes();
    EXPECT_TRUE(bytes);
    const auto reopened = bytes ? PdfDocument::openBytes(*bytes) : std::nullopt;
    EXPECT_TRUE(reopened);
    std::vector<int> pages;
    for (int i = 0; reopened && i < reopened->pageCount(); ++i)
        pages.push_back(static_cast<int>(reopened->mediaBox(i)->widthPoints - 100));
    return pages;
}

PdfDocument numbered(int pageCount) {
    return PdfDocument::openBytes(LinkedPdf::make(pageCount)).value();
}

using SynthPdf::encrypted;

struct ExtractCase {
    std::int64_t lower;
    std::int64_t upper;
    std::vector<int> pages; // empty: absent
};

TEST(PDFOpsExtract, TakesTheRangeCutToTheDocument) {
    const auto source = numbered(3);
    const ExtractCase cases[] = {
        {2, 2, {2}},
        {2, 10, {2, 3}},
        {4, 9, {}},
        {0, 2, {1, 2}},
        {1, 1'000'000'000, numbers(1, 3)},
        {kMin, kMax, numbers(1, 3)},
        {-5, -1, {}},
        {kMax, kMax, {}},
        {3, 3, {3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.lower << "…" << c.upper);
        const auto result = PDFOps::extract(source, {c.lower, c.upper});
        ASSERT_EQ(result.has_value(), !c.pages.empty());
        if (result) {
            EXPECT_EQ(writtenPages(*result), c.pages);
        }
        EXPECT_EQ(source.pageCount(), 3);
    }
    EXPECT_FALSE(PDFOps::extract(PdfDocument::createEmpty(), {1, 5}));
}

struct SplitCase {
    int pageCount;
    std::int64_t every;
    std::vector<std::vector<int>> chunks;
};

TEST(PDFOpsSplit, ChunksOfEveryNPagesInOrder) {
    const SplitCase cases[] = {
        {25, 10, {numbers(1, 10), numbers(11, 20), numbers(21, 25)}},
        {10, 10, {numbers(1, 10)}},
        {3, 500, {numbers(1, 3)}},
        {3, 1, {{1}, {2}, {3}}},
        {3, 2, {{1, 2}, {3}}},
        // The chunk end start + n - 1 would overflow here.
        {3, kMax, {numbers(1, 3)}},
        {3, kMax - 1, {numbers(1, 3)}},
        {3, 0, {}},
        {3, -4, {}},
        {3, kMin, {}},
        {0, 10, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.pageCount << " pages every " << c.every);
        const auto source = numbered(c.pageCount);
        const auto chunks = PDFOps::split(source, c.every);
        ASSERT_EQ(chunks.size(), c.chunks.size());
        for (std::size_t i = 0; i < chunks.size(); ++i)
            EXPECT_EQ(writtenPages(chunks[i]), c.chunks[i]) << "chunk " << i;
        EXPECT_EQ(source.pageCount(), c.pageCount);
    }
}

TEST(PDFOpsSplit, EachChunkIsHandedOverInOrderAndStopping) {
    const auto source = numbered(7);
    std::vector<std::vector<int>> seen;
    PDFOps::splitEach(source, 3, [&](PdfDocument&& chunk) {
        seen.push_back(writtenPages(chunk));
        return true;
    });
    EXPECT_EQ(seen, (std::vector<std::vector<int>>{{1, 2, 3}, {4, 5, 6}, {7}}));
    int built = 0;
    PDFOps::splitEach(source, 3, [&](PdfDocument&&) { return ++built < 2; });
    EXPECT_EQ(built, 2) << "the consumer is not called again once it says stop";
}

// Parts built on several threads, each over a copy of the source of its own (or, for a
// document changed in memory, over the one document in turn), are the bytes of one thread.
TEST(PDFOpsSplit, PartsBuiltOnThreadsAreTheBytesOfOneThreadInOrder) {
    using OutlinePdf::Item;
    OutlinePdf::Layout book;
    book.pageCount = 9;
    book.outline = {
        Item{"One", 1, OutlinePdf::Dest::named, true, {Item{"Two", 2}, Item{"Eight", 8}}},
        Item{"Five", 5, OutlinePdf::Dest::goTo}};
    book.labels = {{0, "<< /S /r >>"}, {4, "<< /S /D /St 7 >>"}};
    const auto opened = PdfDocument::openBytes(OutlinePdf::make(book)).value();
    auto changed = PdfDocument::createEmpty();
    for (int page = 0; page < opened.pageCount(); ++page)
        changed.appendPageCopy(opened, page);
    const auto ranges = PDFOps::splitRanges(9, 2);
    for (const PdfDocument* source : {&opened, static_cast<const PdfDocument*>(&changed)}) {
        std::vector<std::optional<Bytes>> expected;
        for (const auto& range : ranges)
            expected.push_back(PDFOps::extract(*source, range, {true})->writeBytes());
        for (const int threads : {3, 1}) {
            PDFOps::SourceCopies copies(*source, threads);
            std::vector<std::optional<Bytes>> seen;
            PDFOps::extractEach(copies, ranges,
                                [&](std::size_t index, PDFOps::WrittenPart&& part) {
                                    EXPECT_EQ(index, seen.size());
                                    seen.push_back(std::move(part.bytes));
                                    return seen.size() < (threads == 1 ? 2U : ranges.size());
                                },
                                {true});
            if (threads == 1)
                expected.resize(2); // the consumer said stop after two
            EXPECT_EQ(seen, expected) << threads << " threads";
        }
    }
}

struct MergeCase {
    const char* name;
    std::vector<std::string> files;
    std::vector<int> pages; // empty: absent
};

TEST(PDFOpsMerge, ReadableFilesInTheirOrder) {
    Synth::TempDir dir;
    const std::map<std::string, Bytes> files{
        {"a3.pdf", LinkedPdf::make(3)},
        {"c2.pdf", LinkedPdf::make(2)},
        {"none.pdf", LinkedPdf::make(0)},
        {"garbage.pdf", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'P', 'D', 'F'}},
        {"locked.pdf", encrypted(LinkedPdf::make(4), "user", "owner")},
    };
    for (const auto& [name, bytes] : files)
        Synth::writeFile(dir / name, bytes);
    const MergeCase cases[] = {
        {"nothing", {}, {}},
        {"one file", {"a3.pdf"}, numbers(1, 3)},
        {"unreadable skipped", {"a3.pdf", "garbage.pdf", "c2.pdf"}, {1, 2, 3, 1, 2}},
        {"order kept", {"c2.pdf", "a3.pdf"}, {1, 2, 1, 2, 3}},
        {"all unreadable", {"garbage.pdf", "missing.pdf", "locked.pdf"}, {}},
        {"no pages", {"none.pdf", "none.pdf"}, {}},
        {"twice", {"c2.pdf", "c2.pdf"}, {1, 2, 1, 2}},
        {"user password skipped", {"locked.pdf", "c2.pdf"}, {1, 2}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::filesystem::path> paths;
        for (const auto& name : c.files)
            paths.push_back(dir / name);
        const auto result = PDFOps::merge(paths);
        ASSERT_EQ(result.has_value(), !c.pages.empty());
        if (result) {
            EXPECT_EQ(writtenPages(*result), c.pages);
        }
    }
    for (const auto& [name, bytes] : files)
        EXPECT_EQ(Synth::readFile(dir / name), bytes) << name << " changed";
}

TEST(PDFOpsPasswords, OwnerPasswordOnlyWorksUserPasswordIsAbsent) {
    const Bytes plain = LinkedPdf::make(3);
    const auto restricted = PdfDocument::openBytes(encrypted(plain, "", "owner"));
    ASSERT_TRUE(restricted);
    const auto part = PDFOps::extract(*restricted, {2, 3});
    ASSERT_TRUE(part);
    EXPECT_EQ(writtenPages(*part), numbers(2, 3));
    EXPECT_EQ(PDFOps::split(*restricted, 2).size(), 2u);
    EXPECT_FALSE(PdfDocument::openBytes(encrypted(plain, "user", "owner")));
}

TEST(PDFOpsPasswords, CorpusEncryptedFiles) {
    PARVO_CORPUS_FILE(restrictedPath, "pdfs/enc_aes128_restricted.pdf");
    PARVO_CORPUS_FILE(lockedPath, "pdfs/enc_rc4_userpw_password_scan.pdf");
    const auto restricted = PdfDocument::openFile(restrictedPath);
    ASSERT_TRUE(restricted);
    const auto chunks = PDFOps::split(*restricted, 1);
    ASSERT_EQ(chunks.size(), 1u);
    const auto bytes = chunks[0].writeBytes();
    ASSERT_TRUE(bytes);
    const auto reopened = PdfDocument::openBytes(*bytes);
    ASSERT_TRUE(reopened);
    EXPECT_TRUE(reopened->renderPage(0, 60, 91)) << "the copied page still renders";
    EXPECT_FALSE(PdfDocument::openFile(lockedPath));
    EXPECT_FALSE(PDFOps::merge({lockedPath}));
    const auto merged = PDFOps::merge({lockedPath, restrictedPath});
    ASSERT_TRUE(merged);
    EXPECT_EQ(merged->pageCount(), 1);
}

// Whatever a damaged file gives, a result that exists writes a file that opens again with its
// page count; nothing crashes, and the damaged file is left as it was.
TEST(PDFOpsDamaged, ResultsAreSoundOrAbsent) {
    const auto damaged = Corpus::files("damaged", {".pdf"});
    if (damaged.empty())
        GTEST_SKIP() << "corpus damaged/ not available";
    const auto expectSound = [](const PdfDocument& result) {
        const auto bytes = result.writeBytes();
        if (!bytes)
            return; // the caller reports "Couldn't save"
        const auto reopened = PdfDocument::openBytes(*bytes);
        ASSERT_TRUE(reopened);
        EXPECT_EQ(reopened->pageCount(), result.pageCount());
    };
    for (const auto& path : damaged) {
        SCOPED_TRACE(path.filename().string());
        const Bytes before = Synth::readFile(path);
        if (const auto merged = PDFOps::merge({path, path}))
            expectSound(*merged);
        if (const auto document = PdfDocument::openFile(path)) {
            for (const auto& chunk : PDFOps::split(*document, 2))
                expectSound(chunk);
            if (const auto part = PDFOps::extract(*document, {2, kMax}))
                expectSound(*part);
        }
        EXPECT_EQ(Synth::readFile(path), before);
    }
}

TEST(PDFOpsCorpus, MergedPagesKeepTheirSizeAndTurn) {
    PARVO_CORPUS_FILE(rotatedPath, "pdfs/qpdf_rotated_20p.pdf");
    PARVO_CORPUS_FILE(cropPath, "pdfs/qpdf_cropbox_rotate.pdf");
    const Bytes rotatedBefore = Synth::readFile(rotatedPath);
    const auto merged = PDFOps::merge({rotatedPath, cropPath});
    ASSERT_TRUE(merged);
    const auto bytes = merged->writeBytes();
    ASSERT_TRUE(bytes);
    const auto reopened = PdfDocument::openBytes(*bytes);
    ASSERT_TRUE(reopened);
    ASSERT_EQ(reopened->pageCount(), 28);
    const auto rotated = PdfDocument::openFile(rotatedPath);
    const auto cropped = PdfDocument::openFile(cropPath);
    ASSERT_TRUE(rotated && cropped);
    for (int i = 0; i < 28; ++i) {
        const auto expected = i < 20 ? rotated->mediaBox(i) : cropped->mediaBox(i - 20);
        const auto actual = reopened->mediaBox(i);
        ASSERT_TRUE(expected && actual);
        EXPECT_EQ(actual->widthPoints, expected->widthPoints) << "page " << i;
        EXPECT_EQ(actual->heightPoints, expected->heightPoints) << "page " << i;
    }
    EXPECT_EQ(Synth::readFile(rotatedPath), rotatedBefore);
}

} // namespace
