// SPDX-License-Identifier: GPL-3.0-or-later
// Scans fed any way up or askew: shown upright, read upright and straight, pictures kept.
#include "Engine/SearchablePDF.h"
#include "Engine/SearchablePage.h"
#include "Platform/ImageCodec.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfWriter.h"
#include "Platform/TextRecognizer.h"
#include "support/Corpus.h"
#include "support/RecognizerTest.h"
#include "support/ScanImages.h"
#include "support/ScanPdf.h"
#include "support/Synth.h"
#include "support/TextPages.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <vips/vips8>

namespace {

using TextPages::kScale;
using TextPages::Word;

PageSize firstMediaBox(const Bytes& pdf) {
    return PdfDocument::openBytes(pdf)->mediaBox(0).value_or(PageSize{});
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

class TurnedScansTest : public RecognizerTest {};

} // namespace

// The same page of text fed every way round, as bitmaps, as the pages of one scanned PDF (read
// by one worker and by two, alike), and as a phone JPEG whose EXIF turn leaves it upside down:
// each page is shown upright (its size swapped back for quarter turns), its words where drawn.
TEST_F(TurnedScansTest, TextTurnedAnyWayIsShownAndReadUpright) {
    const TextPages::Page page = TextPages::paragraph(160, 420);
    const Image upright = TextPages::image(page);
    const Image shown = ScanImages::shownAlone(upright);
    const std::vector<Word> drawn = TextPages::drawnWords(page);
    const std::array<int, 4> turns = {0, 90, 180, 270};
    std::vector<Image> stored;
    std::vector<ScanPdf::Page> scans;
    for (const int turn : turns) {
        stored.push_back(ScanImages::turnedBy(upright, turn));
        scans.push_back(ScanPdf::filledWith(stored.back(), kScale));
    }
    const Synth::TempDir dir;
    Synth::writeFile(dir / "scans.pdf", ScanPdf::pdf(scans));
    // Stored a quarter turn clockwise, and tagged to be turned another.
    vips::VImage tagged = vips::VImage::new_from_memory(
        const_cast<std::uint8_t*>(stored[1].pixels.data()), stored[1].pixels.size(),
        stored[1].widthPixels, stored[1].heightPixels, 1, VIPS_FORMAT_UCHAR);
    tagged = tagged.copy();
    tagged.set(VIPS_META_ORIENTATION, 6);
    tagged.jpegsave((dir / "phone.jpg").c_str(), vips::VImage::option()->set("Q", 95));

    const auto pdf = SearchablePDF::makeSearchable(dir / "scans.pdf", kScale, one());
    ASSERT_TRUE(pdf.has_value());
    EXPECT_EQ(SearchablePDF::makeSearchable(dir / "scans.pdf", kScale, two()), pdf);
    const auto jpeg = SearchablePDF::buildFromImageFiles({dir / "phone.jpg"}, one());
    ASSERT_TRUE(jpeg.has_value());
    EXPECT_TRUE(contains(*jpeg, Synth::readFile(dir / "phone.jpg")));
    struct Shown {
        std::string kind;
        Bytes pdf;
        int page;
    };
    std::vector<Shown> outputs = {{"jpeg", *jpeg, 0}};
    for (std::size_t index = 0; index < turns.size(); ++index) {
        outputs.push_back({"pdf", *pdf, static_cast<int>(index)});
        outputs.push_back({"bitmap", *SearchablePDF::buildFromImages({stored[index]}, one()), 0});
    }
    for (const Shown& output : outputs) {
        SCOPED_TRACE(testing::Message() << output.kind << " turned " << turns[output.page]);
        const PageSize box = *PdfDocument::openBytes(output.pdf)->mediaBox(output.page);
        EXPECT_EQ(box.widthPoints, upright.widthPixels);
        EXPECT_EQ(box.heightPoints, upright.heightPixels);
        const auto words = TextPages::words(output.pdf).at(static_cast<std::size_t>(output.page));
        EXPECT_GE(TextPages::recall(words, drawn), 0.95);
        EXPECT_GE(TextPages::onWords(words, drawn), 0.85);
        // A picture turned by resampling (rendered, or JPEG) is off by a few levels where a
        // wrong turn is off by over 20.
        EXPECT_LT(ScanImages::meanDifference(ScanImages::rendered(output.pdf, output.page), shown),
                  output.kind == "bitmap" ? 0.01 : 8.0);
    }
}

// Real scans turned by libvips read as well as the upright scan, on upright pages.
TEST_F(TurnedScansTest, CorpusScansTurnedByLibvipsReadAsWellAsUpright) {
    for (const char* name : {"phototest", "eurotext"}) {
        SCOPED_TRACE(name);
        PARVO_CORPUS_FILE(scan, std::string("scans/") + name + ".tif");
        std::ifstream in(scan.parent_path() / (std::string(name) + ".gt.txt"));
        const std::string transcript(std::istreambuf_iterator<char>(in), {});
        const auto decoded = ImageCodec::decodeFile(scan);
        ASSERT_TRUE(decoded.has_value());
        double uprightRecall = 0;
        for (const int turn : {0, 90, 180, 270}) {
            SCOPED_TRACE(turn);
            const auto pdf =
                SearchablePDF::buildFromImages({ScanImages::turnedBy(*decoded, turn)}, one());
            ASSERT_TRUE(pdf.has_value());
            const PageSize box = firstMediaBox(*pdf);
            EXPECT_EQ(box.widthPoints, decoded->widthPixels);
            EXPECT_EQ(box.heightPoints, decoded->heightPixels);
            const double recall =
                ScanImages::transcriptRecall(transcript, TextPages::words(*pdf).at(0));
            if (turn == 0)
                uprightRecall = recall;
            EXPECT_GE(recall, uprightRecall - 0.02);
        }
        EXPECT_GT(uprightRecall, 0.9);
    }
}

// Skewed by ±3° and ±8°: read as well as straight, the words' text lying on the words, and the
// stored picture the one scanned — for bitmaps, JPEG files and PDF image streams alike.
TEST_F(TurnedScansTest, SkewedPagesReadAsWellAsStraightOnesAndKeepTheirPicture) {
    const TextPages::Page page = TextPages::paragraph(160, 840);
    const Image straight = TextPages::image(page);
    const std::pair<int, int> canvas = {600, 1760};
    const Synth::TempDir dir;
    double straightRecall = 0;
    double straightOnWords = 0;
    for (const double degrees : {0.0, 3.0, -3.0, 8.0, -8.0}) {
        SCOPED_TRACE(testing::Message() << degrees << " degrees");
        std::vector<Word> drawn = TextPages::drawnWords(page);
        const Image skewed = ScanImages::skewedBy(straight, degrees, canvas, drawn);
        std::vector<std::pair<std::string, std::optional<Bytes>>> outputs = {
            {"bitmap", SearchablePDF::buildFromImages({skewed}, one())}};
        if (degrees == 8.0) {
            Synth::writeFile(dir / "skewed.jpg", Synth::jpegBytes(skewed));
            Synth::writeFile(dir / "skewed.pdf",
                             ScanPdf::pdf({ScanPdf::filledWith(skewed, kScale)}));
            outputs.emplace_back("jpeg",
                                 SearchablePDF::buildFromImageFiles({dir / "skewed.jpg"}, one()));
            outputs.emplace_back("pdf",
                                 SearchablePDF::makeSearchable(dir / "skewed.pdf", kScale, one()));
        }
        for (const auto& [kind, pdf] : outputs) {
            SCOPED_TRACE(kind);
            ASSERT_TRUE(pdf.has_value());
            const auto words = TextPages::words(*pdf).at(0);
            const double recall = TextPages::recall(words, drawn);
            // Lines are drawn at Helvetica's advance, so some words end off their place even
            // on a straight page; skewed ones must not lose more.
            const double onWords = TextPages::onWords(words, drawn);
            if (degrees == 0) {
                straightRecall = recall;
                straightOnWords = onWords;
            }
            EXPECT_GE(recall, straightRecall - 0.02);
            EXPECT_GE(onWords, straightOnWords - 0.05);
        }
        EXPECT_GT(straightRecall, 0.95);
        EXPECT_GT(straightOnWords, 0.8);
        EXPECT_TRUE(contains(*outputs[0].second, PdfWriter::losslessImage(skewed)->data));
        if (degrees == 8.0) {
            EXPECT_TRUE(contains(*outputs[1].second, Synth::readFile(dir / "skewed.jpg")));
            EXPECT_EQ(ScanPdf::imageStreams(*outputs[2].second),
                      ScanPdf::imageStreams(Synth::readFile(dir / "skewed.pdf")));
        }
    }
}

// A blank page and a photo without text are not turned, whichever way they lie.
TEST_F(TurnedScansTest, PagesWithoutTextStayAsTheyAreWhicheverWayTheyLie) {
    const Image blank{500, 300, 1, 1, Bytes(500 * 300, 255)};
    for (const Image& picture : {blank, Synth::photoLike(500, 300)}) {
        for (const int turn : {0, 90, 180, 270}) {
            SCOPED_TRACE(testing::Message() << picture.channels << " channels, turned " << turn);
            const Image stored = ScanImages::turnedBy(picture, turn);
            const auto pdf = SearchablePDF::buildFromImages({stored}, one());
            ASSERT_TRUE(pdf.has_value());
            EXPECT_EQ(firstMediaBox(*pdf).widthPoints, stored.widthPixels);
            EXPECT_LT(ScanImages::meanDifference(ScanImages::rendered(*pdf),
                                                 ScanImages::shownAlone(stored)),
                      0.01);
        }
    }
}
