// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ImageCodec.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfImageEncoding.h"
#include "Platform/PdfSyntax.h"
#include "Platform/PdfWriter.h"
#include "support/Corpus.h"
#include "support/Synth.h"

#include <algorithm>
#include <clocale>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <locale>
#include <memory>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>
#include <qpdf/QPDF.hh>
#include <random>
#include <string>
#include <utility>
#include <vector>
#include <vips/vips8>

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
    writer.drawInvisibleText("Texto reconocido, Ελληνικά", 12.345, 700.5, 10.2);
    writer.beginPage(612, 792);
    writer.drawImage(*PdfWriter::jpegImage(jpeg), 0.25, 0, 611.5, 792, 6);
    writer.drawImage(*PdfWriter::losslessImage(grayRamp(64, 16)), 1.5, 2.5, 64.25, 16.75);
    writer.drawInvisibleText("1,5 x 2,5", 0.5, 0.25, 7.75);
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

Image grayOf(const Image& rgb) {
    Image gray{rgb.widthPixels, rgb.heightPixels, 1, 1, {}};
    gray.pixels.resize(gray.byteCount());
    for (std::size_t i = 0; i < gray.pixels.size(); ++i)
        gray.pixels[i] = rgb.pixels[3 * i + 1];
    return gray;
}

Image asRgb(const Image& gray) {
    Image rgb{gray.widthPixels, gray.heightPixels, 3, 1, {}};
    for (const std::uint8_t v : gray.pixels)
        rgb.pixels.insert(rgb.pixels.end(), {v, v, v});
    return rgb;
}

// Lines of irregular black strokes on white, like a thresholded scan of text: strokes keep
// their columns for a few rows, as letters do.
Image bilevelText(int widthPixels, int heightPixels, unsigned seed = 7) {
    Image image{widthPixels, heightPixels, 1, 1, {}};
    image.pixels.assign(image.byteCount(), 255);
    std::mt19937 random(seed);
    for (int top = 2; top + 10 < heightPixels; top += 14)
        for (int x = 1; x < widthPixels - 4;) {
            const int stroke = 1 + static_cast<int>(random() % 3);
            const int rise = static_cast<int>(random() % 4);
            for (int y = top + rise; y < top + 10; ++y)
                for (int dx = 0; dx < stroke; ++dx)
                    image.pixels[static_cast<std::size_t>(y * widthPixels + x + dx)] = 0;
            x += stroke + 1 + static_cast<int>(random() % 5);
        }
    return image;
}

Image checkerboard(int widthPixels, int heightPixels) {
    Image image{widthPixels, heightPixels, 1, 1, {}};
    for (int y = 0; y < heightPixels; ++y)
        for (int x = 0; x < widthPixels; ++x)
            image.pixels.push_back((x + y) % 2 ? 255 : 0);
    return image;
}

Bytes pageOf(const PdfImageData& image, int widthPixels, int heightPixels, int orientation = 1) {
    PdfWriter writer;
    writer.beginPage(widthPixels, heightPixels);
    EXPECT_TRUE(writer.drawImage(image, 0, 0, widthPixels, heightPixels, orientation));
    return writer.finish().value();
}

// The raw (still encoded) data of the page's only image.
Bytes storedImageData(const Bytes& pdfBytes) {
    QPDF pdf;
    pdf.processMemoryFile("check", reinterpret_cast<const char*>(pdfBytes.data()), pdfBytes.size());
    QPDFObjectHandle page = pdf.getAllPages().at(0);
    auto xObjects = page.getKey("/Resources").getKey("/XObject");
    auto data = xObjects.getKey(xObjects.getKeys().begin()->c_str()).getRawStreamData();
    return Bytes(data->getBuffer(), data->getBuffer() + data->getSize());
}

// The first page's pixels at one pixel per point, as packed RGB rows. Poppler's Splash
// smooths images it magnifies less than four times (even 1:1), so the page is rendered at 4×
// without antialiasing and each 4×4 block's centre is taken.
Bytes renderedSharp(const Bytes& pdf, int widthPixels, int heightPixels) {
    constexpr int kScale = 4;
    poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
    std::unique_ptr<poppler::document> document(poppler::document::load_from_raw_data(
        reinterpret_cast<const char*>(pdf.data()), static_cast<int>(pdf.size())));
    std::unique_ptr<poppler::page> page(document->create_page(0));
    poppler::page_renderer renderer;
    renderer.set_image_format(poppler::image::format_rgb24);
    const auto image = renderer.render_page(page.get(), 72 * kScale, 72 * kScale, 0, 0,
                                            widthPixels * kScale, heightPixels * kScale);
    Bytes rgb;
    for (int y = 0; y < heightPixels; ++y) {
        const char* row =
            image.const_data() +
            static_cast<std::ptrdiff_t>(y * kScale + kScale / 2) * image.bytes_per_row();
        for (int x = 0; x < widthPixels; ++x) // rgb24: three bytes a pixel
            rgb.insert(rgb.end(), row + 3 * (x * kScale + kScale / 2),
                       row + 3 * (x * kScale + kScale / 2) + 3);
    }
    return rgb;
}

TEST(LosslessImage, RendersBackPixelForPixel) {
    const Image photo = Synth::photoLike(97, 31);
    const struct {
        const char* name;
        Image image;
        const char* filter;
        int components;
        int bits;
    } cases[] = {
        {"RGB photo", photo, "/FlateDecode", 3, 8},
        {"gray photo", grayOf(photo), "/FlateDecode", 1, 8},
        {"RGB whose pixels are gray", asRgb(grayOf(photo)), "/FlateDecode", 1, 8},
        {"bilevel text", bilevelText(203, 61), nullptr, 1, 1},
        {"bilevel text in RGB", asRgb(bilevelText(64, 40)), nullptr, 1, 1},
        {"checkerboard", checkerboard(33, 9), "/FlateDecode", 1, 1},
        {"all white", Image{5, 3, 1, 1, Bytes(15, 255)}, nullptr, 1, 1},
        {"one pixel", Image{1, 1, 3, 1, {200, 10, 99}}, "/FlateDecode", 3, 8},
    };
    for (const auto& c : cases) {
        const auto encoded = PdfWriter::losslessImage(c.image);
        ASSERT_TRUE(encoded) << c.name;
        if (c.filter) {
            EXPECT_EQ(encoded->filter, c.filter) << c.name;
        }
        EXPECT_EQ(encoded->components, c.components) << c.name;
        EXPECT_EQ(encoded->bitsPerComponent, c.bits) << c.name;
        const int w = c.image.widthPixels, h = c.image.heightPixels;
        const Bytes pdf = pageOf(*encoded, w, h);
        EXPECT_TRUE(storedImageData(pdf) == encoded->data) << c.name << ": stored as encoded";
        const Image expected = c.image.channels == 3 ? c.image : asRgb(c.image);
        EXPECT_TRUE(renderedSharp(pdf, w, h) == expected.pixels) << c.name;
    }
}

// Whichever of G4 and 1-bit Flate is smaller gets stored; both must decode to the pixels.
TEST(LosslessImage, G4CodesBilevelPagesExactly) {
    for (const Image& image :
         {bilevelText(203, 61), bilevelText(640, 200, 3), checkerboard(31, 5)}) {
        const auto coded = PdfImageEncoding::g4(image);
        ASSERT_TRUE(coded);
        EXPECT_EQ(coded->filter, "/CCITTFaxDecode");
        const int w = image.widthPixels, h = image.heightPixels;
        EXPECT_TRUE(renderedSharp(pageOf(*coded, w, h), w, h) == asRgb(image).pixels) << w;
        const auto chosen = PdfWriter::losslessImage(image);
        EXPECT_LE(chosen->byteCount(), coded->byteCount());
    }
    PARVO_CORPUS_FILE(path, "scans/derived_multipage_g4_3p.tif");
    const auto scan = ImageCodec::decodeFilePage(path, 0);
    ASSERT_TRUE(scan);
    const auto stored = PdfWriter::losslessImage(*scan);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->filter, "/CCITTFaxDecode");
    EXPECT_LT(stored->byteCount(), std::filesystem::file_size(path)) << "three pages in the file";
}

TEST(LosslessImage, RefusesMalformedImages) {
    Image wrongSize = Synth::photoLike(10, 10);
    wrongSize.pixels.pop_back();
    const Image cases[] = {
        Image{},
        Image{0, 5, 1, 1, {}},
        Image{2, 2, 2, 1, Bytes(8, 0)},
        Image{-2, -2, 1, 1, Bytes(4, 0)},
        wrongSize,
    };
    for (const auto& image : cases)
        EXPECT_FALSE(PdfWriter::losslessImage(image)) << image.widthPixels << "x" << image.channels;

    PdfImageData bad = *PdfWriter::losslessImage(Synth::photoLike(8, 8));
    PdfWriter writer;
    writer.beginPage(10, 10);
    for (const auto& spoil : std::vector<void (*)(PdfImageData&)>{
             [](PdfImageData& d) { d.filter = "/JPXDecode"; },
             [](PdfImageData& d) { d.components = 2; },
             [](PdfImageData& d) { d.bitsPerComponent = 4; },
             [](PdfImageData& d) { d.data.clear(); }, [](PdfImageData& d) { d.widthPixels = 0; }}) {
        PdfImageData spoilt = bad;
        spoil(spoilt);
        EXPECT_FALSE(writer.drawImage(spoilt, 0, 0, 10, 10));
    }
}

TEST(PdfWriter, JpegIsStoredByteForByte) {
    const Bytes jpeg = photoJpeg();
    const auto image = PdfWriter::jpegImage(jpeg);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->filter, "/DCTDecode");
    EXPECT_TRUE(storedImageData(pageOf(*image, 300, 200)) == jpeg);
    EXPECT_FALSE(PdfWriter::jpegImage(Bytes(100, 0)));
}

// Four quadrants of distinct colours, stored sideways or mirrored as `orientation` says; the
// reference for how it looks upright is libvips' own EXIF rotation of the JPEG.
TEST(PdfWriter, EveryExifOrientationIsDrawnUpright) {
    Image stored{48, 32, 3, 1, {}};
    const std::uint8_t colours[4][3] = {
        {230, 20, 20}, {20, 200, 20}, {20, 20, 230}, {240, 230, 20}};
    for (int y = 0; y < stored.heightPixels; ++y)
        for (int x = 0; x < stored.widthPixels; ++x) {
            const auto* c = colours[(y < 16 ? 0 : 2) + (x < 24 ? 0 : 1)];
            stored.pixels.insert(stored.pixels.end(), c, c + 3);
        }
    if (VIPS_INIT("parvo-tests") != 0)
        GTEST_SKIP() << "libvips did not start";
    for (int orientation = 1; orientation <= 8; ++orientation) {
        stored.exifOrientation = orientation;
        const Bytes jpeg = ImageCodec::encodeJpeg(stored, 0.95).value();
        const vips::VImage upright =
            vips::VImage::new_from_buffer(jpeg.data(), jpeg.size(), "").autorot();
        const int w = upright.width(), h = upright.height();
        ASSERT_EQ(w * h, 48 * 32);
        const auto lossless = PdfWriter::losslessImage(stored);
        for (const auto& [kind, image] : {std::pair{"JPEG", PdfWriter::jpegImage(jpeg).value()},
                                          std::pair{"lossless", lossless.value()}}) {
            const auto page =
                PdfDocument::openBytes(pageOf(image, w, h, orientation))->renderPage(0, w, h);
            ASSERT_TRUE(page);
            for (const auto& [x, y] : {std::pair{6, 6}, {w - 7, 6}, {6, h - 7}, {w - 7, h - 7}}) {
                const auto expected = upright.getpoint(x, y);
                for (int k = 0; k < 3; ++k)
                    EXPECT_NEAR(page->pixels[static_cast<std::size_t>((y * w + x) * 3 + k)],
                                expected[static_cast<std::size_t>(k)], 40)
                        << kind << " orientation " << orientation << " at " << x << "," << y;
            }
        }
    }
}

} // namespace
