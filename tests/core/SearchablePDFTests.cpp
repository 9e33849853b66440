// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/OrderedPipeline.h"
#include "Engine/ParallelFor.h"
#include "Engine/SearchablePDF.h"
#include "Engine/SearchablePage.h"
#include "Platform/ImageCodec.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfWriter.h"
#include "Platform/TextRecognizer.h"
#include "support/Corpus.h"
#include "support/RecognizerTest.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"
#include "support/TextPages.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <memory>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <sstream>
#include <vips/vips8>

namespace {

using TextPages::kScale;
using TestPage = TextPages::Page;
using DrawnLine = TextPages::Line;
using TextPages::Word;

const TestPage kFoxes{
    300, 120, {{"Quick brown foxes", 20, 80, 18}, {"jump over dogs", 20, 35, 18}}};
const TestPage kSpanish{300, 120, {{"El ni\xf1o lee", 20, 70, 20}}};
const TestPage kBlank{300, 120, {}};

Bytes textPdf(const std::vector<TestPage>& pages) {
    return TextPages::pdf(pages);
}

Image textImage(const TestPage& page) {
    return TextPages::image(page);
}

std::vector<std::vector<Word>> wordsOf(const Bytes& pdf) {
    return TextPages::words(pdf);
}

std::vector<PageSize> mediaBoxes(const Bytes& pdf) {
    const auto document = PdfDocument::openBytes(pdf);
    std::vector<PageSize> boxes;
    for (int index = 0; document && index < document->pageCount(); ++index)
        boxes.push_back(*document->mediaBox(index));
    return boxes;
}

void expectSize(const PageSize& box, double width, double height) {
    EXPECT_DOUBLE_EQ(box.widthPoints, width);
    EXPECT_DOUBLE_EQ(box.heightPoints, height);
}

/// Every word of every drawn line is extracted from the output page (one point per pixel at
/// kScale) with its centre inside the band where the line was drawn.
void expectLinesInPlace(const std::vector<Word>& words, const TestPage& page, double scale) {
    for (const DrawnLine& line : page.lines) {
        std::istringstream tokens(line.text);
        for (std::string token; tokens >> token;) {
            if (token == "ni\xf1o")
                token = "ni\xc3\xb1o";
            const auto found = std::find_if(words.begin(), words.end(), [&](const Word& word) {
                const double centreX = (word.left + word.right) / 2;
                const double centreY = (word.top + word.bottom) / 2;
                const double bandTop = (page.heightPoints - line.baseline - line.size) * scale;
                const double bandBottom =
                    (page.heightPoints - line.baseline + 0.3 * line.size) * scale;
                const double lineEnd = (line.x + 0.65 * line.size * line.text.size()) * scale;
                return word.text == token && centreY > bandTop && centreY < bandBottom &&
                       centreX > line.x * scale && centreX < lineEnd;
            });
            EXPECT_NE(found, words.end()) << "'" << token << "' of '" << line.text << "'";
        }
    }
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

// The filters of the images the output's pages draw, in page order.
std::vector<std::string> imageFilters(const Bytes& pdf) {
    QPDF document;
    document.processMemoryFile("output", reinterpret_cast<const char*>(pdf.data()), pdf.size());
    std::vector<std::string> filters;
    for (auto& page : QPDFPageDocumentHelper(document).getAllPages())
        for (auto& [name, image] : page.getImages())
            filters.push_back(image.getDict().getKey("/Filter").unparse());
    return filters;
}

class SearchablePDFTest : public RecognizerTest {};

} // namespace

// The invisible-line rules, through the writer and read back by Poppler.
TEST(SearchablePDFLines, SmallOrEmptyLinesAreSkippedAndFontSizeFollowsTheBoxHeight) {
    struct Case {
        const char* text;
        Rect box;        // points, origin bottom-left
        double fontSize; // 0: not drawn
    };
    const std::array<Case, 7> cases = {{
        {"exactlyone", {10, 250, 120, 1.0}, 0},
        {"narrow", {10, 220, 1.0, 30}, 0},
        {"", {10, 180, 200, 40}, 0},
        {"tiny", {10, 150, 60, 1.1}, 1.0},
        {"large", {10, 90, 220, 40}, 34.0},
        {"medium", {150, 30, 100, 20}, 17.0},
        {"thin", {200, 150, 1.01, 12}, 10.2},
    }};
    PdfWriter writer;
    ASSERT_TRUE(writer.beginPage(400, 300));
    for (const Case& c : cases)
        SearchablePages::drawInvisible(c.text, c.box, writer);
    const auto pdf = writer.finish();
    ASSERT_TRUE(pdf.has_value());
    const auto words = wordsOf(*pdf).at(0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto found = std::find_if(words.begin(), words.end(),
                                        [&](const Word& word) { return word.text == c.text; });
        if (c.fontSize == 0) {
            EXPECT_EQ(found, words.end());
            continue;
        }
        ASSERT_NE(found, words.end());
        EXPECT_NEAR(found->fontSize, c.fontSize, 1e-3);
        EXPECT_NEAR(found->left, c.box.x, 0.05 * c.fontSize + 0.01);
        // The baseline sits on the box's bottom edge: above the glyphs' lowest point, near it.
        const double baselineFromTop = 300 - c.box.y;
        EXPECT_GT(baselineFromTop, found->top);
        EXPECT_LE(baselineFromTop, found->bottom + 1e-6);
        EXPECT_LT(found->bottom - baselineFromTop, 0.3 * c.fontSize);
    }
    EXPECT_EQ(words.size(), 4u);
}

TEST_F(SearchablePDFTest, NothingToBuildIsAbsent) {
    const Synth::TempDir dir;
    Synth::writeFile(dir / "broken.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3});
    Synth::writeFile(dir / "empty.pdf", textPdf({}));
    Synth::writeFile(dir / "notes.pdf", Bytes{'h', 'i'});
    EXPECT_FALSE(SearchablePDF::buildFromImages({}, one()).has_value());
    EXPECT_FALSE(SearchablePDF::buildFromImages({textImage(kBlank)}, {}).has_value());
    EXPECT_FALSE(SearchablePDF::buildFromImageFiles({}, one()).has_value());
    EXPECT_FALSE(
        SearchablePDF::buildFromImageFiles({dir / "broken.png", dir / "missing.jpg"}, one())
            .has_value());
    EXPECT_FALSE(SearchablePDF::makeSearchable(dir / "empty.pdf", kScale, one()).has_value());
    EXPECT_FALSE(SearchablePDF::makeSearchable(dir / "notes.pdf", kScale, one()).has_value());
    EXPECT_FALSE(SearchablePDF::makeSearchable(dir / "missing.pdf", kScale, one()).has_value());
}

TEST_F(SearchablePDFTest, ImagesBecomePagesOfTheirPixelSizeWithTheTextInPlaceAndUnpainted) {
    const std::vector<Image> images = {textImage(kFoxes), Synth::photoLike(123, 45),
                                       textImage(kSpanish)};
    const auto pdf = SearchablePDF::buildFromImages(images, one());
    ASSERT_TRUE(pdf.has_value());
    const auto boxes = mediaBoxes(*pdf);
    ASSERT_EQ(boxes.size(), 3u);
    expectSize(boxes[0], 600, 240);
    expectSize(boxes[1], 123, 45);
    expectSize(boxes[2], 600, 240);
    const auto words = wordsOf(*pdf);
    expectLinesInPlace(words[0], kFoxes, kScale);
    expectLinesInPlace(words[2], kSpanish, kScale);

    // The first page looks exactly like a page holding its image alone.
    PdfWriter imageAlone;
    const auto picture = PdfWriter::losslessImage(images[0]);
    ASSERT_TRUE(picture.has_value());
    ASSERT_TRUE(imageAlone.beginPage(600, 240) && imageAlone.drawImage(*picture, 0, 0, 600, 240));
    const auto reference = imageAlone.finish();
    ASSERT_TRUE(reference.has_value());
    const auto rendered = PdfDocument::openBytes(*pdf)->renderPage(0, 600, 240);
    const auto expected = PdfDocument::openBytes(*reference)->renderPage(0, 600, 240);
    ASSERT_TRUE(rendered && expected);
    EXPECT_EQ(rendered->pixels, expected->pixels);
}

TEST_F(SearchablePDFTest, JpegFilesAreEmbeddedAsTheirOwnBytesAndUndecodableFilesSkipped) {
    const Synth::TempDir dir;
    Synth::save(textImage(kFoxes), dir / "foxes.jpg");
    Synth::writeFile(dir / "broken.png", Bytes{0x89, 'P', 'N', 'G', 1, 2, 3});
    Synth::save(Synth::photoLike(90, 60), dir / "photo.png");
    const auto pdf = SearchablePDF::buildFromImageFiles(
        {dir / "foxes.jpg", dir / "broken.png", dir / "photo.png"}, one());
    ASSERT_TRUE(pdf.has_value());
    const auto boxes = mediaBoxes(*pdf);
    ASSERT_EQ(boxes.size(), 2u);
    expectSize(boxes[0], 600, 240);
    expectSize(boxes[1], 90, 60);
    EXPECT_TRUE(contains(*pdf, Synth::readFile(dir / "foxes.jpg")));
    EXPECT_EQ(imageFilters(*pdf), (std::vector<std::string>{"/DCTDecode", "/FlateDecode"}));
    expectLinesInPlace(wordsOf(*pdf).at(0), kFoxes, kScale);
}

TEST_F(SearchablePDFTest, ARotatedPhoneJpegIsShownAndRecognisedUpright) {
    // Stored a quarter turn anticlockwise; orientation 6 tells a viewer to turn it back.
    const Image upright = textImage(kFoxes);
    vips::VImage stored =
        vips::VImage::new_from_memory(const_cast<std::uint8_t*>(upright.pixels.data()),
                                      upright.pixels.size(), upright.widthPixels,
                                      upright.heightPixels, 1, VIPS_FORMAT_UCHAR)
            .rot270()
            .copy();
    stored.set(VIPS_META_ORIENTATION, 6);
    const Synth::TempDir dir;
    stored.jpegsave((dir / "phone.jpg").c_str(), vips::VImage::option()->set("Q", 95));

    const auto pdf = SearchablePDF::buildFromImageFiles({dir / "phone.jpg"}, one());
    ASSERT_TRUE(pdf.has_value());
    const auto boxes = mediaBoxes(*pdf);
    ASSERT_EQ(boxes.size(), 1u);
    expectSize(boxes[0], 600, 240);
    EXPECT_TRUE(contains(*pdf, Synth::readFile(dir / "phone.jpg")));
    expectLinesInPlace(wordsOf(*pdf).at(0), kFoxes, kScale);

    const auto shown = PdfDocument::openBytes(*pdf)->renderPage(0, 600, 240);
    ASSERT_TRUE(shown.has_value());
    double difference = 0;
    for (std::size_t i = 0; i < upright.pixels.size(); ++i)
        difference += std::abs(shown->pixels[i * 3] - upright.pixels[i]);
    EXPECT_LT(difference / static_cast<double>(upright.pixels.size()), 4.0);
}

TEST_F(SearchablePDFTest, EveryPageOfAMultiPageTiffInOrderAndOneFrameOfAGif) {
    const std::vector<Image> pages = {textImage(kFoxes), textImage(kBlank), textImage(kSpanish)};
    std::vector<vips::VImage> stack;
    for (const Image& page : pages)
        stack.push_back(vips::VImage::new_from_memory(const_cast<std::uint8_t*>(page.pixels.data()),
                                                      page.pixels.size(), page.widthPixels,
                                                      page.heightPixels, 1, VIPS_FORMAT_UCHAR));
    vips::VImage joined =
        vips::VImage::arrayjoin(stack, vips::VImage::option()->set("across", 1)).copy();
    joined.set(VIPS_META_PAGE_HEIGHT, 240);
    const Synth::TempDir dir;
    joined.write_to_file((dir / "scan.tif").c_str());
    joined.write_to_file((dir / "animation.gif").c_str());

    const auto sequential = SearchablePDF::buildFromImageFiles({dir / "scan.tif"}, one());
    ASSERT_TRUE(sequential.has_value());
    ASSERT_EQ(mediaBoxes(*sequential).size(), 3u);
    const auto words = wordsOf(*sequential);
    expectLinesInPlace(words[0], kFoxes, kScale);
    EXPECT_TRUE(words[1].empty());
    expectLinesInPlace(words[2], kSpanish, kScale);
    std::vector<std::pair<int, int>> progress;
    EXPECT_EQ(SearchablePDF::buildFromImageFiles(
                  {dir / "scan.tif"}, two(), {},
                  [&](int done, int count) { progress.emplace_back(done, count); }),
              sequential);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 3}, {2, 3}, {3, 3}}));

    const auto gif = SearchablePDF::buildFromImageFiles({dir / "animation.gif"}, one());
    ASSERT_TRUE(gif.has_value());
    EXPECT_EQ(mediaBoxes(*gif).size(), 1u);
}

TEST_F(SearchablePDFTest, PdfPagesAreRenderedAtTheScaleAndRecognisedTheSameOnTwoThreads) {
    const Synth::TempDir dir;
    const std::vector<TestPage> pages = {kFoxes, kBlank, kSpanish, {200, 100, {}}};
    Synth::writeFile(dir / "source.pdf", textPdf(pages));

    const auto sequential = SearchablePDF::makeSearchable(dir / "source.pdf", kScale, one());
    ASSERT_TRUE(sequential.has_value());
    const auto boxes = mediaBoxes(*sequential);
    ASSERT_EQ(boxes.size(), 4u);
    for (std::size_t i = 0; i < pages.size(); ++i)
        expectSize(boxes[i], pages[i].widthPoints * kScale, pages[i].heightPoints * kScale);
    const auto words = wordsOf(*sequential);
    expectLinesInPlace(words[0], kFoxes, kScale);
    expectLinesInPlace(words[2], kSpanish, kScale);
    // Rendered text pages are stored exactly, never as JPEG.
    for (const std::string& filter : imageFilters(*sequential))
        EXPECT_NE(filter, "/DCTDecode");

    std::vector<std::pair<int, int>> progress;
    const auto parallel = SearchablePDF::makeSearchable(
        dir / "source.pdf", kScale, two(), {},
        [&](int done, int count) { progress.emplace_back(done, count); });
    EXPECT_EQ(parallel, sequential);
    EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{1, 4}, {2, 4}, {3, 4}, {4, 4}}));
}

TEST_F(SearchablePDFTest, APageThatCannotBeRenderedMakesTheWholeResultAbsent) {
    const Synth::TempDir dir;
    // 14400 points square at scale 2 is 829 megapixels: more than a page may be rendered at.
    Synth::writeFile(dir / "giant.pdf", textPdf({kFoxes, {14400, 14400, {}}, kSpanish}));
    EXPECT_FALSE(SearchablePDF::makeSearchable(dir / "giant.pdf", kScale, one()).has_value());
    EXPECT_FALSE(SearchablePDF::makeSearchable(dir / "giant.pdf", kScale, two()).has_value());
}

TEST_F(SearchablePDFTest, AStopRequestAbandonsTheDocument) {
    const Synth::TempDir dir;
    Synth::writeFile(dir / "source.pdf", textPdf({kBlank, kBlank, kBlank}));
    std::stop_source stop;
    stop.request_stop();
    EXPECT_FALSE(
        SearchablePDF::makeSearchable(dir / "source.pdf", kScale, two(), stop.get_token()));
    EXPECT_FALSE(SearchablePDF::buildFromImages({textImage(kBlank)}, one(), stop.get_token()));
}

TEST_F(SearchablePDFTest, PhotoPagesOfAPdfAreStoredAsJpegWhenThatIsSmaller) {
    const Synth::TempDir dir;
    Synth::writeFile(dir / "photos.pdf", SynthPdf::photoPages({{200, 150}}));
    const auto pdf = SearchablePDF::makeSearchable(dir / "photos.pdf", kScale, one());
    ASSERT_TRUE(pdf.has_value());
    EXPECT_EQ(imageFilters(*pdf), std::vector<std::string>{"/DCTDecode"});
}

TEST(SearchablePDFPhotoLike, PhotosAndTexturedScansButNotTextOrFlatColour) {
    Image texturedScan = textImage(kFoxes);
    unsigned noise = 12345;
    for (auto& pixel : texturedScan.pixels) {
        noise = noise * 1103515245u + 12345u;
        pixel =
            static_cast<std::uint8_t>(std::clamp(pixel - static_cast<int>(noise >> 28), 0, 255));
    }
    Image flat{300, 200, 3, 1, Bytes(300 * 200 * 3, 40)};
    const std::array<std::pair<const char*, std::pair<Image, bool>>, 4> cases = {{
        {"photo", {Synth::photoLike(300, 200), true}},
        {"textured scan", {texturedScan, true}},
        {"rendered text", {textImage(kFoxes), false}},
        {"flat colour", {flat, false}},
    }};
    for (const auto& [name, c] : cases)
        EXPECT_EQ(SearchablePages::isPhotoLike(c.first), c.second) << name;
}

// A scanned image's searchable PDF is its picture, at most 1.2 times the file, plus the text.
TEST_F(SearchablePDFTest, ACorpusScanStaysNearItsOwnSizePlusTheTextLayer) {
    PARVO_CORPUS_FILE(scan, "scans/phototest.tif");
    const auto searchable = SearchablePDF::buildFromImageFiles({scan}, one());
    ASSERT_TRUE(searchable.has_value());
    const auto decoded = ImageCodec::decodeFilePage(scan, 0);
    const auto picture = PdfWriter::losslessImage(*decoded);
    ASSERT_TRUE(picture.has_value());
    PdfWriter imageOnly;
    ASSERT_TRUE(imageOnly.beginPage(640, 480) && imageOnly.drawImage(*picture, 0, 0, 640, 480));
    const auto pictureBytes = static_cast<double>(imageOnly.finish()->size());
    EXPECT_LE(pictureBytes, 1.2 * static_cast<double>(std::filesystem::file_size(scan)));
    EXPECT_GT(static_cast<double>(searchable->size()), pictureBytes);
    EXPECT_GT(wordsOf(*searchable).at(0).size(), 50u);
}

// Results come back in order, with never more than the look-ahead made beyond the last taken,
// and a refusal or a stop ends the run early.
TEST(SearchablePDFPipeline, InOrderWithBoundedLookAheadAndEarlyEnds) {
    struct Case {
        int workers;
        int refuseAt; // -1: take everything
        int stopAt;   // -1: never stop
    };
    for (const Case c : {Case{1, -1, -1}, Case{2, -1, -1}, Case{3, 17, -1}, Case{2, -1, 9}}) {
        SCOPED_TRACE(testing::Message() << c.workers << " workers");
        std::stop_source stop;
        std::atomic<int> made{0};
        std::atomic<int> mostAhead{0};
        std::vector<int> taken;
        std::atomic<int> takenCount{0};
        const std::function<int(int, int)> make = [&](int index, int worker) {
            EXPECT_LT(worker, c.workers);
            const int ahead = ++made - takenCount;
            for (int most = mostAhead;
                 ahead > most && !mostAhead.compare_exchange_weak(most, ahead);)
                ;
            return index * 10;
        };
        const std::function<bool(int, int&&)> take = [&](int index, int&& result) {
            EXPECT_EQ(result, index * 10);
            taken.push_back(index);
            ++takenCount;
            if (index == c.stopAt)
                stop.request_stop();
            return index != c.refuseAt;
        };
        const bool complete = runOrdered(50, c.workers, 3, stop.get_token(), make, take);
        const int last = c.refuseAt >= 0 ? c.refuseAt : c.stopAt >= 0 ? c.stopAt : 49;
        EXPECT_EQ(complete, last == 49);
        ASSERT_EQ(taken.size(), static_cast<std::size_t>(last + 1));
        for (int index = 0; index <= last; ++index)
            EXPECT_EQ(taken[static_cast<std::size_t>(index)], index);
        EXPECT_LE(mostAhead, 3);
        EXPECT_LE(made, last + 1 + 3);
    }
}

// parallelFor is runOrdered without results: every index once, worker numbers within the
// threads asked for (and the cap), nothing at all for no index.
TEST(SearchablePDFPipeline, ParallelForDoesEachIndexOnceWithinItsWorkers) {
    const std::vector<std::pair<int, int>> cases = {{0, 4}, {1, 4}, {5, 1}, {7, 3}, {300, 200}};
    for (const auto& [count, threads] : cases) {
        SCOPED_TRACE(testing::Message() << count << " indices, " << threads << " threads");
        std::vector<std::atomic<int>> done(static_cast<std::size_t>(count));
        std::atomic<int> highestWorker{0};
        parallelFor(count, threads, [&](int index, int worker) {
            ++done[static_cast<std::size_t>(index)];
            for (int high = highestWorker;
                 worker > high && !highestWorker.compare_exchange_weak(high, worker);)
                ;
        });
        for (const auto& times : done)
            EXPECT_EQ(times, 1);
        EXPECT_LT(highestWorker, std::min(threads, kMaxWorkers));
    }
}
