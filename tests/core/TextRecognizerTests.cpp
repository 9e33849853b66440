// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/OCREngine.h"
#include "Platform/ImageCodec.h"
#include "Platform/PdfDocument.h"
#include "Platform/TextRecognizer.h"
#include "support/Corpus.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <sstream>
#include <thread>

namespace {

const std::vector<std::string> kSpanishEnglish{"es-ES", "en-US"};

// A line of Helvetica drawn on a test page: its baseline's start and size, in points.
struct DrawnLine {
    std::string pdfString; // PDF literal string body, WinAnsi (\361 is ñ)
    std::string utf8;
    double advancePoints; // the text's width by Helvetica's metrics
    double xPoints;
    double baselinePoints;
    double sizePoints;
};

constexpr double kPageWidthPoints = 300;
constexpr double kPageHeightPoints = 120;
constexpr double kScale = 2; // rendered at 144 dpi: 600 × 240 pixels

const std::vector<DrawnLine> kDrawn{
    {"Quick brown foxes", "Quick brown foxes", 148.05, 20, 85, 18},
    {"El ni\\361o lee", "El ni\xc3\xb1o lee", 84.04, 20, 30, 18},
};

Bytes textPdf(const std::vector<DrawnLine>& lines) {
    QPDF pdf;
    pdf.emptyPDF();
    auto font = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    auto resources = QPDFObjectHandle::parse("<< /Font << >> >>");
    resources.getKey("/Font").replaceKey("/F1", font);
    std::ostringstream content;
    for (const DrawnLine& line : lines)
        content << "BT /F1 " << line.sizePoints << " Tf " << line.xPoints << ' '
                << line.baselinePoints << " Td (" << line.pdfString << ") Tj ET\n";
    auto page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
        "<< /Type /Page /MediaBox [0 0 " + std::to_string(kPageWidthPoints) + ' ' +
        std::to_string(kPageHeightPoints) + "] >>"));
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content.str()));
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(page), false);
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
}

Image renderedText(const std::vector<DrawnLine>& lines) {
    const auto document = PdfDocument::openBytes(textPdf(lines));
    EXPECT_TRUE(document.has_value());
    auto image = document->renderPage(0, static_cast<int>(kPageWidthPoints * kScale),
                                      static_cast<int>(kPageHeightPoints * kScale));
    EXPECT_TRUE(image.has_value());
    image->dotsPerInch = 72 * kScale;
    return *image;
}

Image blank(int widthPixels, int heightPixels, int channels) {
    Image image{widthPixels, heightPixels, channels, 1, {}};
    image.pixels.assign(image.byteCount(), 255);
    return image;
}

// Lower-cased words: runs of ASCII letters and digits and of any non-ASCII (UTF-8) bytes.
std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> found;
    std::string word;
    for (const char c : text + ' ') {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) || byte >= 0x80) {
            word += static_cast<char>(std::tolower(byte));
        } else if (!word.empty()) {
            found.push_back(std::move(word));
            word.clear();
        }
    }
    return found;
}

std::string joinedText(const std::vector<OCRLine>& lines) {
    std::string text;
    for (const OCRLine& line : lines)
        text += line.text + '\n';
    return text;
}

// Share of the expected words (with multiplicity) that the recognised text contains.
double wordRecall(const std::string& expected, const std::string& recognised) {
    std::map<std::string, int> available;
    for (const std::string& word : words(recognised))
        ++available[word];
    const auto wanted = words(expected);
    int hits = 0;
    for (const std::string& word : wanted)
        if (available[word]-- > 0)
            ++hits;
    return wanted.empty() ? 0 : static_cast<double>(hits) / static_cast<double>(wanted.size());
}

} // namespace

TEST(TextRecognizerLanguages, MapsTagsByTheirPrimarySubtag) {
    const std::vector<std::pair<std::string, std::string>> cases{
        {"es-ES", "spa"},
        {"en-US", "eng"},
        {"EN", "eng"},
        {"pt_BR", "por"},
        {"de-CH", "deu"},
        {"fr", "fra"},
        {"el-GR", "ell"},
        {"nb-NO", "nor"},
        {"zh-CN", "chi_sim"},
        {"zh-Hant-TW", "chi_tra"},
        {"zh-HK", "chi_tra"},
        {"ja-JP", "jpn"},
        {"xx-YY", ""},
        {"", ""},
        {"e", ""},
        {"-ES", ""},
    };
    for (const auto& [tag, code] : cases)
        EXPECT_EQ(TextRecognizer::tesseractLanguage(tag), code) << tag;
}

TEST(TextRecognizerLanguages, LoadsInstalledLanguagesInPriorityOrder) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
        {{"en-US", "es-ES"}, "eng+spa"},
        {{"de-DE", "en-GB", "en-US"}, "eng"}, // German not installed; English once
        {{"de-DE", "xx", "fr-FR"}, ""},
        {{}, ""},
    };
    for (const auto& [tags, loaded] : cases)
        EXPECT_EQ(TextRecognizer(tags).languages(), loaded) << loaded;
}

TEST(TextRecognizerLanguages, NothingInstalledFindsNothingWithoutFailing) {
    TextRecognizer recognizer({"de-DE", "tlh"});
    EXPECT_TRUE(recognizer.recognize(renderedText(kDrawn), {"de-DE", "tlh"}, 0).empty());
    // Asking for installed languages afterwards loads them.
    EXPECT_FALSE(recognizer.recognize(renderedText(kDrawn), kSpanishEnglish, 0).empty());
    EXPECT_EQ(recognizer.languages(), "spa+eng");
    const TextRecognizer moved = std::move(recognizer);
    EXPECT_EQ(moved.languages(), "spa+eng");
}

TEST(TextRecognizer, FindsDrawnLinesWhereTheyWereDrawn) {
    TextRecognizer recognizer(kSpanishEnglish);
    testing::internal::CaptureStderr();
    const auto lines = OCREngine::recognize(renderedText(kDrawn), kSpanishEnglish, recognizer);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(lines.size(), kDrawn.size()) << joinedText(lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const DrawnLine& drawn = kDrawn[i];
        const Rect box = OCREngine::pageRect(lines[i].box, {kPageWidthPoints, kPageHeightPoints});
        SCOPED_TRACE(lines[i].text);
        EXPECT_EQ(lines[i].text, drawn.utf8);
        // Helvetica: capitals rise 0.72 em above the baseline, descenders fall 0.21 em below.
        EXPECT_NEAR(box.x, drawn.xPoints, 2);
        EXPECT_GE(box.y, drawn.baselinePoints - 0.25 * drawn.sizePoints);
        EXPECT_LE(box.y, drawn.baselinePoints + 1);
        EXPECT_NEAR(box.y + box.height, drawn.baselinePoints + 0.72 * drawn.sizePoints, 2);
        EXPECT_NEAR(box.width, drawn.advancePoints, 4);
    }
}

TEST(TextRecognizer, ImagesWithoutTextOrMalformedGiveNothingQuietly) {
    TextRecognizer recognizer(kSpanishEnglish);
    Image truncated = blank(200, 100, 3);
    truncated.pixels.resize(100);
    const std::vector<std::pair<std::string, Image>> cases{
        {"gray", blank(300, 200, 1)},
        {"rgb", blank(300, 200, 3)},
        {"two channels", blank(50, 50, 2)},
        {"truncated", truncated},
        {"empty", Image{}},
    };
    for (const auto& [name, image] : cases) {
        testing::internal::CaptureStderr();
        EXPECT_TRUE(recognizer.recognize(image, kSpanishEnglish, 0).empty()) << name;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << name;
    }
}

TEST(TextRecognizer, EarlierImagesDoNotChangeLaterResults) {
    const Image text = renderedText(kDrawn);
    TextRecognizer fresh(kSpanishEnglish);
    const auto alone = OCREngine::recognize(text, kSpanishEnglish, fresh);
    TextRecognizer used(kSpanishEnglish);
    OCREngine::recognize(renderedText({{"Other words first", "", 0, 10, 50, 24}}), kSpanishEnglish,
                         used);
    EXPECT_EQ(OCREngine::recognize(text, kSpanishEnglish, used), alone);
    EXPECT_FALSE(alone.empty());
}

TEST(TextRecognizer, RecognisersOnTwoThreadsAgree) {
    const Image text = renderedText(kDrawn);
    std::vector<OCRLine> results[2];
    std::vector<std::thread> threads;
    for (auto& result : results)
        threads.emplace_back([&text, &result] {
            TextRecognizer recognizer(kSpanishEnglish);
            result = OCREngine::recognize(text, kSpanishEnglish, recognizer);
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_FALSE(results[0].empty());
    EXPECT_EQ(results[0], results[1]);
}

TEST(OCREngine, PageRectScalesWithoutFlippingOrRounding) {
    const std::vector<std::tuple<Rect, PageSize, Rect>> cases{
        {{0.1, 0.2, 0.5, 0.05}, {1000, 2000}, {100, 400, 500, 100}},
        {{0, 0, 1, 1}, {612, 792}, {0, 0, 612, 792}},
        {{-0.25, 0.5, 1.5, 0.001}, {100, 10}, {-25, 5, 150, 0.01}},
    };
    for (const auto& [normalized, page, expected] : cases) {
        const Rect rect = OCREngine::pageRect(normalized, page);
        EXPECT_DOUBLE_EQ(rect.x, expected.x);
        EXPECT_DOUBLE_EQ(rect.y, expected.y);
        EXPECT_DOUBLE_EQ(rect.width, expected.width);
        EXPECT_DOUBLE_EQ(rect.height, expected.height);
    }
}

// Small real scans with their transcripts; the large ones are measured by scripts/bench.
TEST(TextRecognizerCorpus, RecallsMostWordsOfRealScans) {
    const std::vector<std::pair<std::string, double>> scans{
        {"scans/phototest", 0.95},
        {"scans/eurotext", 0.85},
    };
    TextRecognizer recognizer(kSpanishEnglish);
    for (const auto& [stem, minimumRecall] : scans) {
        PARVO_CORPUS_FILE(image, stem + ".tif");
        PARVO_CORPUS_FILE(truth, stem + ".gt.txt");
        const auto decoded = ImageCodec::decodeFilePage(image, 0);
        ASSERT_TRUE(decoded.has_value()) << stem;
        const auto lines = OCREngine::recognize(*decoded, kSpanishEnglish, recognizer);
        std::ostringstream expected;
        expected << std::ifstream(truth).rdbuf();
        EXPECT_GE(wordRecall(expected.str(), joinedText(lines)), minimumRecall)
            << stem << ":\n"
            << joinedText(lines);
        // The engine's order on a one-column page runs top to bottom.
        for (std::size_t i = 1; i < lines.size(); ++i)
            EXPECT_LT(lines[i].box.y, lines[i - 1].box.y) << lines[i].text;
    }
}
