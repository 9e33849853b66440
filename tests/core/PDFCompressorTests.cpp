// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/PDFCompressor.h"
#include "Platform/PdfDocument.h"
#include "support/Corpus.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"

#include <clocale>
#include <gtest/gtest.h>
#include <string>

namespace {

class PDFCompressorTest : public ::testing::Test {
protected:
    std::filesystem::path write(const std::string& name, const Bytes& bytes) {
        auto path = m_dir / name;
        Synth::writeFile(path, bytes);
        return path;
    }
    static SizeTarget justBelow(const Bytes& bytes) {
        return SizeTarget::custom(static_cast<std::int64_t>(bytes.size()) - 1);
    }
    Synth::TempDir m_dir;
};

TEST_F(PDFCompressorTest, FilesWithinTheBudgetComeBackUntouched) {
    // Not even a PDF: within the budget it is never opened.
    const Bytes notPdf(5000, 'x');
    const auto small = write("small.pdf", notPdf);
    auto result = PDFCompressor::compressDetailed(small, SizeTarget::custom(5000), 1.5);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->rebuilt);
    EXPECT_EQ(result->bytes, notPdf);
    // Over the budget but not a PDF, or a PDF without pages: a failure, not "already small".
    EXPECT_FALSE(PDFCompressor::compress(small, SizeTarget::custom(4999), 1.5));
    const Bytes noPages = SynthPdf::withoutPages(4096);
    EXPECT_FALSE(PDFCompressor::compressDetailed(noPages, justBelow(noPages), 1.5));
    EXPECT_FALSE(PDFCompressor::compress(m_dir / "missing.pdf", SizeTarget::web(), 1.5));
}

TEST_F(PDFCompressorTest, RebuildsScansAtOneAndAHalfTimesThePageSize) {
    const Bytes source = SynthPdf::photoPages({{612, 792, 0}, {612, 792, 90}, {300, 200, 0}});
    const auto path = write("scan.pdf", source);
    const auto result = PDFCompressor::compressDetailed(path, justBelow(source), 1.5);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->rebuilt);
    EXPECT_LT(result->bytes.size(), source.size());
    EXPECT_GT(result->quality, 0.05);
    EXPECT_LE(result->assemblies, 7);

    const auto rebuilt = PdfDocument::openBytes(result->bytes);
    ASSERT_TRUE(rebuilt);
    ASSERT_EQ(rebuilt->pageCount(), 3);
    struct Expected {
        double width, height;
    };
    // The turned page comes out upright: its rebuilt page is landscape.
    const Expected expected[] = {{918, 1188}, {1188, 918}, {450, 300}};
    for (int i = 0; i < 3; ++i) {
        const auto box = rebuilt->mediaBox(i);
        ASSERT_TRUE(box);
        EXPECT_EQ(box->widthPoints, expected[i].width) << "page " << i;
        EXPECT_EQ(box->heightPoints, expected[i].height) << "page " << i;
    }
}

TEST_F(PDFCompressorTest, RebuiltBytesDoNotDependOnThreadsOrLocale) {
    const Bytes source = SynthPdf::photoPages({{400, 500}, {500, 400}, {400, 500}, {300, 300}});
    const auto path = write("scan.pdf", source);
    const auto one = PDFCompressor::compressDetailed(path, justBelow(source), 1.5, 1);
    const auto two = PDFCompressor::compressDetailed(path, justBelow(source), 1.5, 2);
    ASSERT_TRUE(one && two);
    ASSERT_TRUE(one->rebuilt);
    EXPECT_EQ(one->bytes, two->bytes);
    EXPECT_EQ(one->quality, two->quality);

    if (!std::setlocale(LC_ALL, "es_ES.UTF-8"))
        GTEST_SKIP() << "es_ES.UTF-8 locale not installed";
    const auto underComma = PDFCompressor::compress(path, justBelow(source), 1.5);
    std::setlocale(LC_ALL, "C");
    EXPECT_EQ(underComma, one->bytes);
}

TEST_F(PDFCompressorTest, TooLargeEvenAtTheLowestQualityGivesThatQualityIfSmaller) {
    const Bytes source = SynthPdf::photoPages({{300, 400}, {400, 300}}, 0.98);
    const auto path = write("tight.pdf", source);
    const auto result = PDFCompressor::compressDetailed(path, SizeTarget::custom(1024), 1.5);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->rebuilt);
    EXPECT_EQ(result->quality, 0.05);
    EXPECT_EQ(result->assemblies, 1);
    EXPECT_GT(result->bytes.size(), 1024u);
    const auto document = PdfDocument::openBytes(source);
    ASSERT_TRUE(document);
    EXPECT_EQ(result->bytes,
              PDFCompressor::assemble(PDFCompressor::pageImages(*document, 1.5), 0.05));
}

TEST_F(PDFCompressorTest, TextThatWouldGrowAsPicturesIsKept) {
    const Bytes source = SynthPdf::textPages(2);
    ASSERT_GT(source.size(), 1024u);
    const auto path = write("text.pdf", source);
    const auto result = PDFCompressor::compressDetailed(path, SizeTarget::custom(1024), 1.5);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->rebuilt);
    EXPECT_EQ(result->bytes, source);
}

TEST_F(PDFCompressorTest, APageThatCannotBeRenderedKeepsTheWholeFile) {
    // 9000 pt at 1.5x is 13500 pixels square, beyond the pixel cap.
    const Bytes source = SynthPdf::photoPages({{612, 792}, {9000, 9000}, {612, 792}}, 0.95);
    const auto path = write("huge.pdf", source);
    const auto result = PDFCompressor::compressDetailed(path, SizeTarget::custom(1024), 1.5);
    ASSERT_TRUE(result);
    EXPECT_FALSE(result->rebuilt);
    EXPECT_EQ(result->bytes, source);
}

TEST_F(PDFCompressorTest, PageImagesAndAssembleAgreeWithCompress) {
    const Bytes source = SynthPdf::photoPages({{200, 300}, {300, 200, 270}});
    const auto document = PdfDocument::openBytes(source);
    ASSERT_TRUE(document);
    const auto pages = PDFCompressor::pageImages(*document, 1.5);
    ASSERT_EQ(pages.size(), 2u);
    EXPECT_EQ(pages[0].widthPixels, 300);
    EXPECT_EQ(pages[0].heightPixels, 450);
    EXPECT_EQ(pages[1].widthPixels, 300);
    EXPECT_EQ(pages[1].heightPixels, 450);

    EXPECT_FALSE(PDFCompressor::assemble({}, 0.5));
    const auto path = write("pair.pdf", source);
    const auto result = PDFCompressor::compressDetailed(path, justBelow(source), 1.5);
    ASSERT_TRUE(result && result->rebuilt);
    EXPECT_EQ(PDFCompressor::assemble(pages, result->quality), result->bytes);
}

TEST(PDFCompressorCorpus, DamagedFilesFailOrComeBackUnchangedOrWhole) {
    std::vector<std::filesystem::path> files =
        Corpus::withoutRendererHangs(Corpus::files("damaged", {".pdf"}));
    for (const char* locked : {"pdfs/enc_rc4_userpw_password_scan.pdf"})
        if (auto path = Corpus::file(locked))
            files.push_back(*path);
    if (files.empty()) {
        GTEST_SKIP() << "corpus not available";
    }
    for (const auto& file : files) {
        const Bytes original = Synth::readFile(file);
        const auto result = PDFCompressor::compressDetailed(file, SizeTarget::custom(1024), 1.5);
        // Absent exactly when the file is over the budget and no document to work on.
        const auto document = PdfDocument::openBytes(original);
        ASSERT_EQ(result.has_value(),
                  original.size() <= 1024 || (document && document->pageCount() > 0))
            << file;
        if (!result) {
            continue;
        } else if (!result->rebuilt) {
            EXPECT_EQ(result->bytes, original) << file;
        } else {
            EXPECT_LT(result->bytes.size(), original.size()) << file;
            EXPECT_TRUE(PdfDocument::openBytes(result->bytes)) << file;
        }
    }
}

TEST(PDFCompressorCorpus, ScannedPdfsShrinkAndKeepEveryPage) {
    PARVO_CORPUS_FILE(path, "scans/multipage_imageonly.pdf");
    const auto source = PdfDocument::openFile(path);
    ASSERT_TRUE(source);
    const auto result = PDFCompressor::compressDetailed(path, SizeTarget::custom(400 * 1024), 1.5);
    ASSERT_TRUE(result);
    ASSERT_TRUE(result->rebuilt);
    EXPECT_LE(result->bytes.size(), 400u * 1024);
    const auto rebuilt = PdfDocument::openBytes(result->bytes);
    ASSERT_TRUE(rebuilt);
    EXPECT_EQ(rebuilt->pageCount(), source->pageCount());
}

} // namespace
