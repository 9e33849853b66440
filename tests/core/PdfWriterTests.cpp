// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ImageCodec.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfSyntax.h"
#include "Platform/PdfWriter.h"
#include "support/Corpus.h"
#include "support/Synth.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <gtest/gtest.h>
#include <limits>
#include <locale>
#include <qpdf/QPDF.hh>
#include <string>

namespace {

Image grayRamp(int widthPixels, int heightPixels) {
    Image image{widthPixels, heightPixels, 1, 1, {}};
    image.pixels.resize(image.byteCount());
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint8_t>(i % static_cast<std::size_t>(widthPixels));
    return image;
}

bool contains(const Bytes& haystack, const Bytes& needle) {
    return std::search(haystack.begin(), haystack.end(), needle.begin(), needle.end()) !=
           haystack.end();
}

struct ImageEntry {
    std::string colourSpace;
    std::string decode;
    long long width = 0;
    long long height = 0;
    std::string filter;
};

// The image XObjects of a page, as a reader finds them.
std::vector<ImageEntry> pageImages(const Bytes& pdfBytes, int pageIndex) {
    QPDF pdf;
    pdf.processMemoryFile("check", reinterpret_cast<const char*>(pdfBytes.data()), pdfBytes.size());
    QPDFObjectHandle page = pdf.getAllPages().at(static_cast<std::size_t>(pageIndex));
    auto xObjects = page.getKey("/Resources").getKey("/XObject");
    std::vector<ImageEntry> entries;
    for (auto& [name, object] : xObjects.ditems()) {
        auto dict = object.getDict();
        auto decode = dict.getKey("/Decode");
        entries.push_back({dict.getKey("/ColorSpace").getName(),
                           decode.isNull() ? "" : decode.unparse(),
                           dict.getKey("/Width").getIntValue(),
                           dict.getKey("/Height").getIntValue(), dict.getKey("/Filter").getName()});
    }
    return entries;
}

Bytes photoJpeg() {
    return Synth::jpegBytes(Synth::photoLike(300, 200));
}

// A fixed document with fractional sizes and positions, as a page of a real scan would be.
Bytes sampleDocument(const Bytes& jpeg) {
    PdfWriter writer;
    writer.beginPage(595.28, 841.89);
    writer.drawJpeg(jpeg, 10.125, 20.5, 400.333333, 266.88);
    writer.drawJpeg(jpeg, 0.5, 300.75, 100.0625, 66.7);
    writer.beginPage(612, 792);
    writer.drawJpeg(jpeg, 0, 0, 612, 792);
    return writer.finish().value();
}

TEST(PdfWriter, RoundTripKeepsJpegBytesAndPageSizes) {
    const Bytes rgb = photoJpeg();
    const Bytes gray = Synth::jpegBytes(grayRamp(256, 64));
    PdfWriter writer;
    ASSERT_TRUE(writer.beginPage(595.28, 841.89));
    ASSERT_TRUE(writer.drawJpeg(rgb, 0, 0, 595.28, 841.89));
    ASSERT_TRUE(writer.beginPage(256, 64));
    ASSERT_TRUE(writer.drawJpeg(gray, 0, 0, 256, 64));
    EXPECT_EQ(writer.pageCount(), 2);
    const auto bytes = writer.finish();
    ASSERT_TRUE(bytes);
    EXPECT_TRUE(contains(*bytes, rgb));
    EXPECT_TRUE(contains(*bytes, gray));

    const auto document = PdfDocument::openBytes(*bytes);
    ASSERT_TRUE(document);
    ASSERT_EQ(document->pageCount(), 2);
    EXPECT_DOUBLE_EQ(document->mediaBox(0)->widthPoints, 595.28);
    EXPECT_DOUBLE_EQ(document->mediaBox(0)->heightPoints, 841.89);
    const auto first = pageImages(*bytes, 0).at(0);
    EXPECT_EQ(first.colourSpace, "/DeviceRGB");
    EXPECT_EQ(first.filter, "/DCTDecode");
    EXPECT_EQ(first.width, 300);
    EXPECT_EQ(first.height, 200);
    EXPECT_EQ(pageImages(*bytes, 1).at(0).colourSpace, "/DeviceGray");

    // The gray ramp runs dark to light from left to right: the page shows it unmirrored.
    const auto page = document->renderPage(1, 256, 64);
    ASSERT_TRUE(page);
    const auto at = [&](int x) { return page->pixels[static_cast<std::size_t>(32 * 256 + x) * 3]; };
    EXPECT_LT(at(8), 40);
    EXPECT_GT(at(247), 215);
}

TEST(PdfWriter, AdobeCmykJpegIsDecodedInverted) {
    PARVO_CORPUS_FILE(path, "images/baiona_cmyk.jpg");
    const Bytes jpeg = Synth::readFile(path);
    const auto info = ImageCodec::readJpegInfo(jpeg);
    ASSERT_TRUE(info && info->components == 4 && info->adobeInverted);
    PdfWriter writer;
    writer.beginPage(info->widthPixels, info->heightPixels);
    ASSERT_TRUE(writer.drawJpeg(jpeg, 0, 0, info->widthPixels, info->heightPixels));
    const auto bytes = writer.finish().value();
    const auto entry = pageImages(bytes, 0).at(0);
    EXPECT_EQ(entry.colourSpace, "/DeviceCMYK");
    EXPECT_EQ(entry.decode, "[ 1 0 1 0 1 0 1 0 ]");

    // Without the inversion the page would be a negative of the decoded photo.
    const auto decoded = ImageCodec::decodeFile(path);
    const auto rendered =
        PdfDocument::openBytes(bytes)->renderPage(0, info->widthPixels, info->heightPixels);
    ASSERT_TRUE(decoded && rendered && decoded->channels == 3);
    double difference = 0;
    for (std::size_t i = 0; i < rendered->pixels.size(); ++i)
        difference += std::abs(rendered->pixels[i] - decoded->pixels[i]);
    EXPECT_LT(difference / static_cast<double>(rendered->pixels.size()), 40);
}

TEST(PdfWriter, OutputIsDeterministicAndLocaleIndependent) {
    const Bytes jpeg = photoJpeg();
    const Bytes reference = sampleDocument(jpeg);
    EXPECT_TRUE(sampleDocument(jpeg) == reference);
    if (!std::setlocale(LC_ALL, "es_ES.UTF-8"))
        GTEST_SKIP() << "es_ES.UTF-8 locale not available";
    const std::locale previous = std::locale::global(std::locale("es_ES.UTF-8"));
    const Bytes underSpanish = sampleDocument(jpeg);
    std::locale::global(previous);
    std::setlocale(LC_ALL, "C");
    EXPECT_TRUE(underSpanish == reference);
    const std::string text(reference.begin(), reference.end());
    EXPECT_EQ(text.find("595,28"), std::string::npos);
}

TEST(PdfWriter, PerPageOverheadStaysSmall) {
    const Bytes jpeg = photoJpeg();
    constexpr int kPages = 20;
    PdfWriter writer;
    for (int i = 0; i < kPages; ++i) {
        writer.beginPage(595.28, 841.89);
        writer.drawJpeg(jpeg, 0, 0, 595.28, 841.89);
    }
    const auto bytes = writer.finish().value();
    const double overhead =
        (static_cast<double>(bytes.size()) - static_cast<double>(jpeg.size()) * kPages) / kPages;
    EXPECT_LT(overhead, 900) << "bytes per page beyond the JPEG";
    EXPECT_EQ(PdfDocument::openBytes(bytes)->pageCount(), kPages);
}

TEST(PdfWriter, WithoutPagesIsAValidEmptyPdf) {
    PdfWriter writer;
    const auto bytes = writer.finish();
    ASSERT_TRUE(bytes);
    QPDF pdf;
    pdf.processMemoryFile("empty", reinterpret_cast<const char*>(bytes->data()), bytes->size());
    EXPECT_EQ(pdf.getAllPages().size(), 0u);
    EXPECT_EQ(PdfDocument::openBytes(*bytes)->pageCount(), 0);
}

TEST(PdfWriter, RefusesWhatWouldMakeABrokenPage) {
    const Bytes jpeg = photoJpeg();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    PdfWriter writer;
    EXPECT_FALSE(writer.drawJpeg(jpeg, 0, 0, 10, 10)) << "no page open";
    EXPECT_FALSE(writer.beginPage(0, 100));
    EXPECT_FALSE(writer.beginPage(100, nan));
    EXPECT_EQ(writer.pageCount(), 0);
    ASSERT_TRUE(writer.beginPage(100, 100));
    EXPECT_FALSE(writer.drawJpeg(Bytes(500, 0xff), 0, 0, 10, 10));
    EXPECT_FALSE(writer.drawJpeg(Bytes(jpeg.begin(), jpeg.begin() + 2), 0, 0, 10, 10));
    EXPECT_FALSE(writer.drawJpeg(jpeg, nan, 0, 10, 10));
    EXPECT_FALSE(writer.drawJpeg(jpeg, 0, 0, 0, 10));
    EXPECT_TRUE(writer.drawJpeg(jpeg, -5, -5, 10, 10));
    ASSERT_TRUE(writer.finish());
    EXPECT_FALSE(writer.beginPage(100, 100)) << "spent";
    EXPECT_FALSE(writer.finish());
}

TEST(PdfSyntax, NumbersArePlainDecimals) {
    const struct {
        double value;
        const char* text;
    } cases[] = {
        {0, "0"},           {-0.0, "0"},         {612, "612"},
        {595.28, "595.28"}, {-12.5, "-12.5"},    {2.0 / 3.0, "0.6667"},
        {1e-7, "0"},        {-1e-7, "0"},        {1e20, "100000000000000000000"},
        {0.1 + 0.2, "0.3"}, {std::nan(""), "0"}, {std::numeric_limits<double>::infinity(), "0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PdfSyntax::number(c.value), c.text) << c.value;
}

} // namespace
