// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PdfDocument.h"
#include "Platform/PdfText.h"
#include "Platform/PdfWriter.h"
#include "support/Synth.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <memory>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-page.h>
#include <qpdf/QPDF.hh>
#include <set>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// A word as Poppler's text extraction finds it: box in points, origin at the page's top left.
struct Word {
    std::string text;
    double left = 0, top = 0, right = 0, bottom = 0;
};

std::vector<Word> wordsOf(const Bytes& pdf, int pageIndex = 0) {
    poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
    std::unique_ptr<poppler::document> document(poppler::document::load_from_raw_data(
        reinterpret_cast<const char*>(pdf.data()), static_cast<int>(pdf.size())));
    if (!document)
        return {};
    std::unique_ptr<poppler::page> page(document->create_page(pageIndex));
    std::vector<Word> words;
    for (const auto& box : page->text_list()) {
        const auto utf8 = box.text().to_utf8();
        const auto r = box.bbox();
        words.push_back(
            {std::string(utf8.begin(), utf8.end()), r.left(), r.top(), r.right(), r.bottom()});
    }
    return words;
}

Bytes onePage(double width, double height, const std::string& text, double x, double y,
              double size) {
    PdfWriter writer;
    writer.beginPage(width, height);
    EXPECT_TRUE(writer.drawInvisibleText(text, x, y, size));
    return writer.finish().value();
}

TEST(InvisibleText, EveryScriptIsExtractedWhereItWasDrawn) {
    const struct {
        const char* text;
        int characters;
        double em; // the fallback font's advance per character; 0 for Helvetica's own widths
        double ascent, descent; // the box's extent above and below the baseline, in ems
    } cases[] = {
        {"Parvo", 5, 0, 0.718, 0.207},
        {"mañana", 6, 0, 0.718, 0.207},
        {"€100", 4, 0, 0.718, 0.207},
        {"Straße", 6, 0, 0.718, 0.207},
        {"Ελληνικά", 8, 0.5, 0.8, 0.2},
        {"Привет", 6, 0.5, 0.8, 0.2},
        {"日本語", 3, 1, 0.8, 0.2},
        {"\xF0\x9F\x98\x80", 1, 1, 0.8, 0.2}, // an emoji, beyond the BMP
    };
    constexpr double kX = 40, kBaseline = 30, kSize = 20, kPageHeight = 100;
    for (const auto& c : cases) {
        const auto words = wordsOf(onePage(400, kPageHeight, c.text, kX, kBaseline, kSize));
        ASSERT_EQ(words.size(), 1u) << c.text;
        const Word& word = words[0];
        EXPECT_EQ(word.text, c.text);
        EXPECT_NEAR(word.left, kX, 0.5) << c.text;
        // Search highlights are drawn over these boxes.
        const double baselineFromTop = kPageHeight - kBaseline;
        EXPECT_NEAR(word.top, baselineFromTop - c.ascent * kSize, 0.01) << c.text;
        EXPECT_NEAR(word.bottom, baselineFromTop + c.descent * kSize, 0.01) << c.text;
        const double perCharacter = (word.right - word.left) / (kSize * c.characters);
        if (c.em > 0) {
            EXPECT_NEAR(perCharacter, c.em, 0.01) << c.text;
        } else {
            EXPECT_GT(perCharacter, 0.3) << c.text;
            EXPECT_LT(perCharacter, 0.85) << c.text;
        }
    }
}

TEST(InvisibleText, RunsInBothFontsFollowEachOtherOnOneLine) {
    const std::vector<std::string> expected = {"Hola", "Ελληνικά",         "日本語",
                                               "€100", "\xF0\x9F\x98\x80", "fin"};
    std::string line;
    for (const auto& word : expected)
        line += (line.empty() ? "" : " ") + word;
    const auto words = wordsOf(onePage(600, 100, line, 10, 40, 16));
    ASSERT_EQ(words.size(), expected.size());
    for (std::size_t i = 0; i < words.size(); ++i) {
        EXPECT_EQ(words[i].text, expected[i]);
        EXPECT_NEAR(words[i].bottom, words[0].bottom, 16 * 0.3) << "same baseline";
        if (i > 0) {
            EXPECT_GT(words[i].left, words[i - 1].right - 0.01) << words[i].text;
        }
    }
}

// The advance table must agree with the Helvetica metrics viewers use, or a line narrowed to
// its box would still overrun it (or stop short of it).
TEST(InvisibleText, ALineWiderThanItsBoxIsNarrowedToEndThereAndTheNextIsNot) {
    const std::string text = "Guía de referencia: ¿Qué Straße? W€ll, MMMM iiii — 100%";
    constexpr double kX = 20, kBaseline = 40, kSize = 30;
    const auto naturalWidthOf = [&](const std::string& line) {
        double thousandths = 0;
        for (const char32_t c : PdfText::decodeUtf8(line))
            thousandths += PdfText::advance(c);
        return thousandths * kSize / 1000;
    };
    // A Times-like scan font runs about a fifth narrower than Helvetica.
    const double kBox = 0.8 * naturalWidthOf(text);
    PdfWriter writer;
    writer.beginPage(1200, 100);
    ASSERT_TRUE(writer.drawInvisibleText(text, kX, kBaseline, kSize, kBox));
    ASSERT_TRUE(writer.drawInvisibleText("natural", kX, kBaseline - 30, kSize, 1000));
    const auto words = wordsOf(writer.finish().value());
    ASSERT_FALSE(words.empty());
    std::string found;
    for (const Word& word : words)
        found += (found.empty() ? "" : " ") + word.text;
    EXPECT_EQ(found, text + " natural");
    const Word& lastOfFirstLine = words[words.size() - 2];
    EXPECT_NEAR(lastOfFirstLine.right, kX + kBox, 1.5) << "ends at its box";
    EXPECT_NEAR(words.back().right - words.back().left, naturalWidthOf("natural"), 0.5)
        << "the scaling did not leak";
}

TEST(InvisibleText, PaintsNothing) {
    const Image photo = Synth::photoLike(160, 90);
    const auto image = PdfWriter::losslessImage(photo);
    ASSERT_TRUE(image);
    const auto build = [&](bool withText) {
        PdfWriter writer;
        writer.beginPage(160, 90);
        writer.drawImage(*image, 0, 0, 160, 90);
        if (withText) {
            writer.drawInvisibleText("Sólo texto € Ωμέγα 日本 \xF0\x9F\x98\x80", 5, 40, 30);
            writer.drawInvisibleText("WWWWWWWW", 0, 0, 90);
        }
        return writer.finish().value();
    };
    const auto plain = PdfDocument::openBytes(build(false))->renderPage(0, 160, 90);
    const auto texted = PdfDocument::openBytes(build(true))->renderPage(0, 160, 90);
    ASSERT_TRUE(plain && texted);
    EXPECT_TRUE(plain->pixels == texted->pixels);

    const auto blank = PdfDocument::openBytes(onePage(100, 50, "Ελληνικά y más", 2, 10, 40));
    const auto rendered = blank->renderPage(0, 100, 50);
    ASSERT_TRUE(rendered);
    EXPECT_TRUE(std::all_of(rendered->pixels.begin(), rendered->pixels.end(),
                            [](std::uint8_t v) { return v == 255; }));
}

// Characters beyond Helvetica need Tesseract's glyphless font; without it a document with such
// text fails instead of losing part of it, and Helvetica text is written as ever.
TEST(InvisibleText, WithoutTesseractsFontOnlyWesternTextIsWritten) {
    const auto dataFolder = std::filesystem::temp_directory_path() /
                            ("parvo-no-tessdata-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dataFolder);
    const char* previous = std::getenv("TESSDATA_PREFIX");
    const std::string kept = previous ? previous : "";
    ::setenv("TESSDATA_PREFIX", dataFolder.c_str(), 1);
    PdfWriter western, greek;
    ASSERT_TRUE(western.beginPage(200, 100) && greek.beginPage(200, 100));
    EXPECT_TRUE(western.drawInvisibleText("Sí, 100 €", 10, 10, 12));
    EXPECT_TRUE(greek.drawInvisibleText("uno", 10, 10, 12));
    EXPECT_FALSE(greek.drawInvisibleText("uno Ελληνικά", 10, 30, 12));
    EXPECT_FALSE(greek.drawInvisibleText("dos Ωμέγα", 10, 50, 12, 0, 30)) << "along a slope";
    const auto westernBytes = western.finish();
    const bool greekFinished = greek.finish().has_value();
    previous ? ::setenv("TESSDATA_PREFIX", kept.c_str(), 1) : ::unsetenv("TESSDATA_PREFIX");
    std::filesystem::remove(dataFolder);
    ASSERT_TRUE(westernBytes);
    EXPECT_EQ(wordsOf(*westernBytes).at(2).text, "€");
    EXPECT_FALSE(greekFinished);
}

TEST(InvisibleText, FontsAreSharedByEveryPage) {
    PdfWriter writer;
    for (const char* text : {"uno Ελληνικά", "dos 日本語", "tres Привет"}) {
        writer.beginPage(200, 100);
        writer.drawInvisibleText(text, 10, 10, 12);
    }
    const Bytes bytes = writer.finish().value();
    QPDF pdf;
    pdf.processMemoryFile("fonts", reinterpret_cast<const char*>(bytes.data()), bytes.size());
    std::set<std::string> helvetica, fallback;
    for (QPDFObjectHandle page : pdf.getAllPages()) {
        auto fonts = page.getKey("/Resources").getKey("/Font");
        helvetica.insert(fonts.getKey("/FH").getObjGen().unparse());
        fallback.insert(fonts.getKey("/FU").getObjGen().unparse());
    }
    EXPECT_EQ(helvetica.size(), 1u);
    EXPECT_EQ(fallback.size(), 1u);
    int fontPrograms = 0;
    for (QPDFObjectHandle object : pdf.getAllObjects())
        if (object.isDictionary() && object.hasKey("/FontFile2"))
            ++fontPrograms;
    EXPECT_EQ(fontPrograms, 1);
    // The second and third pages' characters were numbered after the first page's.
    for (int page = 0; page < 3; ++page)
        EXPECT_EQ(wordsOf(bytes, page).at(1).text,
                  (std::vector<std::string>{"Ελληνικά", "日本語", "Привет"}[page]));
}

TEST(InvisibleText, MalformedUtf8BecomesReplacementCharacters) {
    const struct {
        const char* utf8;
        std::u32string expected;
    } cases[] = {
        {"a\x80z", U"a\uFFFDz"},                           // stray continuation byte
        {"\xE2\x82", U"\uFFFD"},                           // truncated euro sign
        {"\xE2\x82z", U"\uFFFDz"},                         // truncated, then ASCII
        {"\xC0\xAF", U"\uFFFD\uFFFD"},                     // overlong slash
        {"\xED\xA0\x80", U"\uFFFD\uFFFD\uFFFD"},           // encoded surrogate
        {"\xF4\x90\x80\x80", U"\uFFFD\uFFFD\uFFFD\uFFFD"}, // above U+10FFFF
        {"\xFF", U"\uFFFD"},
        {"\xE2\x82\xAC\xF0\x9F\x98\x80", U"\u20AC\U0001F600"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PdfText::decodeUtf8(c.utf8), c.expected) << c.utf8;
    const auto words = wordsOf(onePage(300, 60, "ab\xFF", 10, 20, 12));
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ(words[0].text, "ab\xEF\xBF\xBD");
}

TEST(InvisibleText, WinAnsiHasWesternCharactersOnly) {
    const struct {
        char32_t character;
        int byte; // -1: not in the encoding
    } cases[] = {
        {U'A', 0x41},      {U' ', 0x20},      {U'\u00F1', 0xF1}, {U'\u00DF', 0xDF},
        {U'\u20AC', 0x80}, {U'\u0152', 0x8C}, {U'\u2014', 0x97}, {U'\u00A0', 0xA0},
        {U'\t', -1},       {0x7F, -1},        {0x80, -1},        {U'\u03A9', -1},
        {U'\u0416', -1},   {U'\u65E5', -1},   {0x1F600, -1},
    };
    for (const auto& c : cases) {
        const auto byte = PdfText::winAnsiByte(c.character);
        EXPECT_EQ(byte ? *byte : -1, c.byte) << static_cast<unsigned>(c.character);
    }
    EXPECT_EQ(PdfText::utf16Hex(0x1F600), "D83DDE00");
    EXPECT_EQ(PdfText::utf16Hex(0xF1), "00F1");
}

TEST(InvisibleText, RefusesWhatCannotBePlaced) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    PdfWriter writer;
    EXPECT_FALSE(writer.drawInvisibleText("text", 0, 0, 12)) << "no page open";
    ASSERT_TRUE(writer.beginPage(100, 100));
    EXPECT_FALSE(writer.drawInvisibleText("text", nan, 0, 12));
    EXPECT_FALSE(writer.drawInvisibleText("text", 0, infinity, 12));
    EXPECT_FALSE(writer.drawInvisibleText("text", 0, 0, 0));
    EXPECT_FALSE(writer.drawInvisibleText("text", 0, 0, -3));
    EXPECT_TRUE(writer.drawInvisibleText("", 0, 0, 12));
    EXPECT_TRUE(writer.drawInvisibleText("fuera", -50, 500, 12)) << "off the page is allowed";
    const auto bytes = writer.finish();
    ASSERT_TRUE(bytes);
    EXPECT_EQ(PdfDocument::openBytes(*bytes)->pageCount(), 1);
}

} // namespace
