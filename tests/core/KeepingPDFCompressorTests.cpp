// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/KeepingPDFCompressor.h"
#include "LinkedPdf.h"
#include "Platform/ImageCodec.h"
#include "Platform/ImageResample.h"
#include "Platform/JpegReader.h"
#include "Platform/JpxReader.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfImageSet.h"
#include "Platform/Sandbox.h"
#include "support/Corpus.h"
#include "support/Synth.h"
#include "support/SynthJpx.h"
#include "support/SynthPdf.h"
#include "support/TextPages.h"

#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <qpdf/QPDFOutlineDocumentHelper.hh>
#include <random>
#include <string>

namespace {

using KeepingPDFCompressor::Method;

// ---- documents the tests make -----------------------------------------------------------

QPDFObjectHandle parse(const std::string& text) {
    return QPDFObjectHandle::parse(text);
}

QPDFObjectHandle rawImage(QPDF& pdf, int width, int height, const std::string& space, int bits,
                          Bytes data) {
    auto image = QPDFObjectHandle::newStream(&pdf, std::string(data.begin(), data.end()));
    auto dict = image.getDict();
    dict.replaceKey("/Type", parse("/XObject"));
    dict.replaceKey("/Subtype", parse("/Image"));
    dict.replaceKey("/Width", QPDFObjectHandle::newInteger(width));
    dict.replaceKey("/Height", QPDFObjectHandle::newInteger(height));
    dict.replaceKey("/ColorSpace", parse(space));
    dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(bits));
    return image;
}

QPDFObjectHandle pixelsImage(QPDF& pdf, const Image& image) {
    return rawImage(pdf, image.widthPixels, image.heightPixels,
                    image.channels == 1 ? "/DeviceGray" : "/DeviceRGB", 8, image.pixels);
}

QPDFObjectHandle jpegImage(QPDF& pdf, const Image& image) {
    auto stream = pixelsImage(pdf, image);
    const Bytes jpeg = Synth::jpegBytes(image);
    stream.replaceStreamData(std::string(jpeg.begin(), jpeg.end()), parse("/DCTDecode"),
                             QPDFObjectHandle::newNull());
    return stream;
}

Image gray(int width, int height, unsigned seed) {
    const Image rgb = Synth::photoLike(width, height, seed);
    Image out{width, height, 1, 1, {}};
    for (std::size_t i = 0; i < rgb.pixels.size(); i += 3)
        out.pixels.push_back(rgb.pixels[i + 1]);
    return out;
}

// A 1-bit page of black "words" on white, as a scanner makes it.
QPDFObjectHandle scanImage(QPDF& pdf, int width, int height) {
    const int rowBytes = (width + 7) / 8;
    Bytes bits(static_cast<std::size_t>(rowBytes) * height, 0xFF);
    std::mt19937 random(7);
    for (int line = 100; line + 30 < height; line += 60)
        for (int x = 100; x + 200 < width; x += 240)
            if (random() % 4 != 0)
                for (int y = line; y < line + 30; ++y)
                    for (int b = x / 8; b < (x + 200) / 8; ++b)
                        bits[static_cast<std::size_t>(y) * rowBytes + b] = 0;
    return rawImage(pdf, width, height, "/DeviceGray", 1, bits);
}

QPDFObjectHandle addPage(QPDF& pdf, const std::string& boxes, const std::string& content,
                         QPDFObjectHandle xobjects) {
    auto page = pdf.makeIndirectObject(parse("<< /Type /Page " + boxes + " >>"));
    auto resources = parse("<< /Font << /F1 << /Type /Font /Subtype /Type1 /BaseFont "
                           "/Helvetica /Encoding /WinAnsiEncoding >> >> >>");
    resources.replaceKey("/XObject", xobjects);
    page.replaceKey("/Resources", resources);
    page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, content));
    QPDFPageDocumentHelper(pdf).addPage(QPDFPageObjectHelper(page), false);
    return page;
}

void link(QPDFObjectHandle from, QPDFObjectHandle to) {
    auto annot = parse("<< /Type /Annot /Subtype /Link /Rect [72 60 200 80] /Border [0 0 0] >>");
    annot.replaceKey("/Dest", LinkedPdf::fitDestination(to));
    from.replaceKey("/Annots", QPDFObjectHandle::newArray({annot}));
}

void outline(QPDF& pdf, const std::vector<std::pair<std::string, QPDFObjectHandle>>& items) {
    auto root = pdf.makeIndirectObject(parse("<< /Type /Outlines >>"));
    std::vector<QPDFObjectHandle> made;
    for (const auto& [title, page] : items) {
        auto item = pdf.makeIndirectObject(parse("<< >>"));
        item.replaceKey("/Title", QPDFObjectHandle::newString(title));
        item.replaceKey("/Parent", root);
        item.replaceKey("/Dest", LinkedPdf::fitDestination(page));
        if (!made.empty()) {
            made.back().replaceKey("/Next", item);
            item.replaceKey("/Prev", made.back());
        }
        made.push_back(item);
    }
    root.replaceKey("/First", made.front());
    root.replaceKey("/Last", made.back());
    root.replaceKey("/Count", QPDFObjectHandle::newInteger(static_cast<long long>(made.size())));
    pdf.getRoot().replaceKey("/Outlines", root);
}

Bytes written(QPDF& pdf, bool compressed) {
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setDeterministicID(true);
    writer.setCompressStreams(compressed);
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
}

// Three pages with everything a document keeps and every kind of image: a JPEG photo, an
// RGB image drawn twice at different sizes, a gray one inside a form, one with a soft mask,
// a 1-bit scan, a CMYK one and an identical copy of it; text, vector drawing, links, an
// outline, a turned page with a crop box, and applications' private data.
Bytes richPdf(bool compressed) {
    QPDF pdf;
    pdf.emptyPDF();
    auto masked = pixelsImage(pdf, Synth::photoLike(400, 400, 4));
    masked.getDict().replaceKey("/SMask", pixelsImage(pdf, gray(400, 400, 5)));
    auto form = QPDFObjectHandle::newStream(&pdf, "q 1 0 0 1 0 0 cm /Gray Do Q");
    form.getDict().replaceKey("/Subtype", parse("/Form"));
    form.getDict().replaceKey("/BBox", parse("[0 0 1 1]"));
    form.getDict().replaceKey("/Matrix", parse("[0.5 0 0 0.5 0 0]"));
    form.getDict().replaceKey("/Resources", parse("<< /XObject << >> >>"));
    form.getDict()
        .getKey("/Resources")
        .getKey("/XObject")
        .replaceKey("/Gray", pixelsImage(pdf, gray(600, 600, 3)));
    const Bytes cmyk(200 * 200 * 4, 0x40);
    auto x1 = parse("<< >>");
    x1.replaceKey("/Photo", jpegImage(pdf, Synth::photoLike(900, 600, 1)));
    x1.replaceKey("/Twice", pixelsImage(pdf, Synth::photoLike(800, 600, 2)));
    auto p1 = addPage(pdf, "/MediaBox [0 0 612 792]",
                      "BT /F1 14 Tf 72 720 Td (Alpha beta gamma) Tj ET\n"
                      "0.2 0.4 0.8 rg 72 600 200 80 re f 1 w 72 590 m 300 590 l S\n"
                      "q 108 0 0 72 72 400 cm /Photo Do Q\n"
                      "q 96 0 0 72 300 400 cm /Twice Do Q q 48 0 0 36 450 400 cm /Twice Do Q\n",
                      x1);
    auto x2 = parse("<< >>");
    x2.replaceKey("/Form", form);
    x2.replaceKey("/Masked", masked);
    auto p2 = addPage(pdf, "/MediaBox [0 0 612 792] /CropBox [20 20 592 772] /Rotate 90",
                      "BT /F1 12 Tf 72 700 Td (Delta epsilon zeta) Tj ET\n"
                      "q 200 0 0 200 72 300 cm /Form Do Q q 72 0 0 72 350 300 cm /Masked Do Q\n",
                      x2);
    auto x3 = parse("<< >>");
    x3.replaceKey("/Scan", scanImage(pdf, 1700, 2200));
    x3.replaceKey("/Cmyk", rawImage(pdf, 200, 200, "/DeviceCMYK", 8, cmyk));
    x3.replaceKey("/Copy", rawImage(pdf, 200, 200, "/DeviceCMYK", 8, cmyk));
    auto p3 = addPage(pdf, "/MediaBox [0 0 612 792]",
                      "q 612 0 0 792 0 0 cm /Scan Do Q BT /F1 12 Tf 72 40 Td (Eta theta) Tj ET\n"
                      "q 72 0 0 72 400 100 cm /Cmyk Do Q q 72 0 0 72 480 100 cm /Copy Do Q\n",
                      x3);
    link(p1, p2);
    link(p2, p3);
    outline(pdf, {{"First", p1}, {"Third", p3}});
    for (auto holder : {p1, pdf.getRoot()})
        holder.replaceKey("/PieceInfo", parse("<< /Editor << /Private (state) >> >>"));
    p1.getKey("/PieceInfo")
        .getKey("/Editor")
        .replaceKey("/Data", QPDFObjectHandle::newStream(&pdf, std::string(20000, 'p')));
    return written(pdf, compressed);
}

// Two pages whose drawing is thousands of small shaded cells (a chart, a map): their
// operators take more bytes than a picture of them, and there is no image to resample.
Bytes vectorPdf() {
    QPDF pdf;
    pdf.emptyPDF();
    std::vector<QPDFObjectHandle> pages;
    for (int p = 0; p < 2; ++p) {
        std::string content;
        std::mt19937 random(11 + p);
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 80; ++x)
                content += std::to_string(0.3 + 0.6 * (x + y) / 180.0 + (random() % 100) / 1e5) +
                           " g " + std::to_string(40 + x * 6.6 + (random() % 50) / 100.0) + " " +
                           std::to_string(60 + y * 6.6) + " 6.3 6.3 re f\n";
        content += "BT /F1 24 Tf 60 740 Td (Quarterly figures " + std::to_string(p + 1) +
                   ") Tj ET BT /F1 10 Tf 60 30 Td (Sales by region and month) Tj ET\n";
        pages.push_back(addPage(pdf,
                                p == 0 ? "/MediaBox [0 0 612 792]"
                                       : "/MediaBox [0 0 612 792] /CropBox [10 10 600 780] "
                                         "/Rotate 90",
                                content, parse("<< >>")));
    }
    link(pages[0], pages[1]);
    outline(pdf, {{"Figures", pages[1]}});
    return written(pdf, true);
}

// ---- what a result is checked for --------------------------------------------------------

struct Box {
    std::string media, crop;
    int rotate = 0;
    friend bool operator==(const Box&, const Box&) = default;
};

std::unique_ptr<QPDF> open(const Bytes& bytes) {
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    pdf->processMemoryFile("pdf", reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return pdf;
}

std::vector<Box> boxes(const Bytes& bytes) {
    auto pdf = open(bytes);
    std::vector<Box> out;
    for (auto& page : QPDFPageDocumentHelper(*pdf).getAllPages())
        out.push_back({page.getAttribute("/MediaBox", false).unparse(),
                       page.getAttribute("/CropBox", false).unparse(),
                       static_cast<int>(page.getAttribute("/Rotate", false).isInteger()
                                            ? page.getAttribute("/Rotate", false).getIntValue()
                                            : 0)});
    return out;
}

// Outline items as (title, 0-based page).
std::vector<std::pair<std::string, int>> outlineOf(const Bytes& bytes) {
    auto pdf = open(bytes);
    QPDFOutlineDocumentHelper helper(*pdf);
    const auto pages = pdf->getAllPages();
    std::vector<std::pair<std::string, int>> out;
    for (auto& item : helper.getTopLevelOutlines()) {
        auto target = item.getDestPage();
        int index = -1;
        for (std::size_t i = 0; i < pages.size(); ++i)
            if (target.isIndirect() && target.getObjGen() == pages[i].getObjGen())
                index = static_cast<int>(i);
        out.emplace_back(item.getTitle(), index);
    }
    return out;
}

std::vector<std::string> texts(const Bytes& pdf) {
    std::vector<std::string> out;
    for (const auto& page : TextPages::words(pdf)) {
        out.emplace_back();
        for (const auto& word : page)
            out.back() += word.text + " ";
    }
    return out;
}

// An image of a result by its resource name on a 0-based page.
QPDFObjectHandle image(QPDF& pdf, int page, const std::string& name) {
    QPDFObjectHandle pageObject = pdf.getAllPages().at(static_cast<std::size_t>(page));
    return pageObject.getKey("/Resources").getKey("/XObject").getKey(name);
}

int widthOf(QPDFObjectHandle image) {
    return static_cast<int>(image.getDict().getKey("/Width").getIntValue());
}

// The images of richPdf after resampling: each downsampled one keeps the same pixels per inch
// where it is drawn largest (the twice-drawn one at its larger size, the form's through the
// form's matrix), no more than the ladder's best; the others are as they were.
void expectImagesResampled(const Bytes& result) {
    auto pdf = open(result);
    const std::map<std::string, std::pair<double, int>> drawnInches = {
        {"/Photo", {1.5, 0}}, {"/Twice", {96.0 / 72, 0}}, {"/Masked", {1.0, 1}}};
    const double ppi = widthOf(image(*pdf, 0, "/Photo")) / 1.5;
    EXPECT_LE(ppi, KeepingPDFCompressor::ladder().front().pixelsPerInch + 1);
    for (const auto& [name, placed] : drawnInches) {
        auto stream = image(*pdf, placed.second, name);
        EXPECT_TRUE(stream.getDict().getKey("/Filter").isNameAndEquals("/DCTDecode")) << name;
        EXPECT_NEAR(widthOf(stream) / placed.first, ppi, 1 / placed.first + 0.01) << name;
    }
    auto form = image(*pdf, 1, "/Form").getDict().getKey("/Resources").getKey("/XObject");
    EXPECT_NEAR(widthOf(form.getKey("/Gray")) / (100.0 / 72), std::min(ppi, 432.0), 1);
    auto masked = image(*pdf, 1, "/Masked");
    EXPECT_EQ(widthOf(masked.getDict().getKey("/SMask")), widthOf(masked));
    EXPECT_EQ(image(*pdf, 2, "/Scan").getDict().getKey("/BitsPerComponent").getIntValue(), 1);
    auto cmyk = image(*pdf, 2, "/Cmyk");
    EXPECT_EQ(widthOf(cmyk), 200);
    EXPECT_EQ(*cmyk.getStreamData()->getBuffer(), 0x40);
}

// Private data is gone and identical images are stored once.
void expectCompacted(const Bytes& result) {
    auto pdf = open(result);
    EXPECT_FALSE(pdf->getRoot().hasKey("/PieceInfo"));
    QPDFObjectHandle first = pdf->getAllPages().front();
    EXPECT_FALSE(first.hasKey("/PieceInfo"));
    EXPECT_EQ(image(*pdf, 2, "/Cmyk").getObjGen(), image(*pdf, 2, "/Copy").getObjGen());
}

// Every word of the source is found where the source shows it.
void expectWordsInPlace(const Bytes& source, const Bytes& result) {
    const auto before = TextPages::words(source);
    const auto after = TextPages::words(result);
    ASSERT_EQ(after.size(), before.size());
    for (std::size_t page = 0; page < before.size(); ++page) {
        EXPECT_EQ(TextPages::recall(after[page], before[page]), 1.0) << "page " << page;
        EXPECT_EQ(TextPages::onWords(after[page], before[page]), 1.0) << "page " << page;
    }
}

struct Case {
    const char* name;
    Bytes source;
    std::int64_t targetBytes;
    Method method;
    bool fits;
    void (*expect)(const Bytes& result);
};

class KeepingPDFCompressorTest : public ::testing::TestWithParam<int> {};

std::vector<Case> cases() {
    static const Bytes rich = richPdf(true);
    static const Bytes uncompressed = richPdf(false);
    static const Bytes vectors = vectorPdf();
    const auto size = [](const Bytes& bytes) { return static_cast<std::int64_t>(bytes.size()); };
    return {
        {"within the budget", rich, size(rich), Method::unchanged, true, nullptr},
        {"lossless", uncompressed, size(uncompressed) - 1, Method::lossless, true, expectCompacted},
        {"images", rich, size(rich) / 3, Method::images, true, expectImagesResampled},
        {"nothing fits", rich, 1024, Method::images, false, expectImagesResampled},
        {"pictures", vectors, size(vectors) / 2, Method::pictures, true, nullptr},
    };
}

TEST_P(KeepingPDFCompressorTest, KeepsTheDocument) {
    const Case c = cases().at(static_cast<std::size_t>(GetParam()));
    SCOPED_TRACE(c.name);
    const auto result =
        KeepingPDFCompressor::compress(c.source, SizeTarget::custom(c.targetBytes), 2);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->method, c.method);
    EXPECT_EQ(result->fits, c.fits);
    EXPECT_EQ(result->fits, static_cast<std::int64_t>(result->bytes.size()) <= c.targetBytes);
    EXPECT_LE(result->bytes.size(), c.source.size());
    EXPECT_EQ(boxes(result->bytes), boxes(c.source));
    EXPECT_EQ(outlineOf(result->bytes), outlineOf(c.source));
    EXPECT_EQ(LinkedPdf::linksOf(result->bytes), LinkedPdf::linksOf(c.source));
    expectWordsInPlace(c.source, result->bytes);
    if (c.method != Method::pictures) {
        EXPECT_EQ(texts(result->bytes), texts(c.source));
    }
    if (c.method == Method::unchanged) {
        EXPECT_EQ(result->bytes, c.source);
    }
    if (c.expect)
        c.expect(result->bytes);
    // The same bytes again, whatever the number of threads.
    const auto again =
        KeepingPDFCompressor::compress(c.source, SizeTarget::custom(c.targetBytes), 1);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->bytes, result->bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, KeepingPDFCompressorTest,
                         ::testing::Range(0, static_cast<int>(cases().size())),
                         [](const auto& info) {
                             std::string name = cases().at(info.param).name;
                             std::replace(name.begin(), name.end(), ' ', '_');
                             return name;
                         });

// Area averaging: flat areas stay exactly flat, each output pixel is the mean of what it
// covers (fractions included), channels stay apart, and extreme reductions (spans of more
// than 256 rows or columns) average too.
TEST(ImageResample, EveryPixelIsTheMeanOfTheAreaItCovers) {
    struct Reduction {
        int width, height, channels, toWidth, toHeight;
        std::vector<std::uint8_t> (*pixel)(int x, int y);
        std::vector<std::uint8_t> expectedFirst; // the first output pixel
    };
    const auto flat = [](int, int) { return std::vector<std::uint8_t>{200, 17, 255}; };
    const auto checker = [](int x, int y) {
        return std::vector<std::uint8_t>{std::uint8_t((x + y) % 2 ? 255 : 0)};
    };
    const auto ramp = [](int x, int) { return std::vector<std::uint8_t>{std::uint8_t(x * 10)}; };
    const std::vector<Reduction> reductions = {
        {9, 7, 3, 4, 3, flat, {200, 17, 255}},
        {8, 8, 1, 4, 4, checker, {128}},
        {3, 1, 1, 2, 1, ramp, {3}},      // (0 + 10 × 0.5) / 1.5
        {600, 2, 1, 1, 1, ramp, {0}},    // 8-bit wrap-around of x·10 averages near 127
        {1, 300, 1, 1, 1, checker, {0}}, // column of alternating pixels: 150 of 300 white
    };
    for (const auto& r : reductions) {
        Image image{r.width, r.height, r.channels, 1, {}};
        for (int y = 0; y < r.height; ++y)
            for (int x = 0; x < r.width; ++x)
                for (auto value : r.pixel(x, y))
                    image.pixels.push_back(value);
        const auto reduced = ImageResample::reduced(image, r.toWidth, r.toHeight);
        ASSERT_TRUE(reduced);
        ASSERT_EQ(reduced->pixels.size(),
                  static_cast<std::size_t>(r.toWidth * r.toHeight * r.channels));
        double mean = 0;
        for (auto value : image.pixels)
            mean += value;
        mean /= static_cast<double>(image.pixels.size());
        if (r.toWidth == 1 && r.toHeight == 1)
            EXPECT_NEAR(reduced->pixels[0], mean, 0.5) << r.width << "x" << r.height;
        else
            for (int c = 0; c < r.channels; ++c)
                EXPECT_EQ(reduced->pixels[c], r.expectedFirst[c]) << r.width << "x" << r.height;
    }
    EXPECT_FALSE(ImageResample::reduced(Image{2, 2, 1, 1, {1, 2, 3}}, 1, 1));
}

TEST(KeepingPDFCompressor, FailsOnlyForAFileOverTheBudgetThatIsNoDocument) {
    const Bytes notPdf(5000, 'x');
    const auto small = KeepingPDFCompressor::compress(notPdf, SizeTarget::custom(5000));
    ASSERT_TRUE(small);
    EXPECT_EQ(small->bytes, notPdf);
    EXPECT_FALSE(KeepingPDFCompressor::compress(notPdf, SizeTarget::custom(4999)));
    EXPECT_FALSE(
        KeepingPDFCompressor::compress(SynthPdf::withoutPages(4096), SizeTarget::custom(1024)));
}

// The rungs of the image ladder are far apart in bytes; what the chosen one leaves of the
// budget goes to images from the rung above, so that a budget anywhere between two rungs is
// all but spent.
TEST(KeepingPDFCompressor, SpendsTheBudgetBetweenTwoRungs) {
    QPDF pdf;
    pdf.emptyPDF();
    for (unsigned page = 0; page < 8; ++page) {
        auto xobjects = parse("<< >>");
        xobjects.replaceKey("/Photo", jpegImage(pdf, Synth::photoLike(600, 400, 10 + page)));
        addPage(pdf, "/MediaBox [0 0 612 792]", "q 288 0 0 192 72 400 cm /Photo Do Q", xobjects);
    }
    const Bytes source = written(pdf, true);
    for (const double share : {0.3, 0.45, 0.6, 0.75}) {
        const auto budget = static_cast<std::int64_t>(share * static_cast<double>(source.size()));
        const auto result = KeepingPDFCompressor::compress(source, SizeTarget::custom(budget));
        ASSERT_TRUE(result);
        EXPECT_EQ(result->method, Method::images) << share;
        EXPECT_LE(static_cast<std::int64_t>(result->bytes.size()), budget) << share;
        EXPECT_GE(static_cast<double>(result->bytes.size()), 0.9 * static_cast<double>(budget))
            << share;
    }
}

// JPEG 2000 as archives store their scans: read exactly when whole and plain, refused where a
// reader would have to guess or the data is cut short.
TEST(JpxReader, ReadsWholePlainImagesAndRefusesTheRest) {
    const Image rgb = Synth::photoLike(64, 48, 3);
    const Image grey = gray(64, 48, 4);
    const Bytes whole = Synth::jpxBytes(rgb);
    struct Read {
        const char* name;
        Bytes jpx;
        const Image* expected;
    };
    const std::vector<Read> reads = {
        {"RGB in a JP2 file", whole, &rgb},
        {"gray codestream", Synth::jpxBytes(grey, {.container = false}), &grey},
        {"12-bit gray", Synth::jpxBytes(grey, {.bits = 12}), &grey},
        {"alpha channel", Synth::jpxBytes(rgb, {.alpha = true}), nullptr},
        {"cut short", Bytes(whole.begin(), whole.begin() + whole.size() * 2 / 3), nullptr},
        {"a JPEG", Synth::jpegBytes(rgb), nullptr},
    };
    for (const Read& read : reads) {
        SCOPED_TRACE(read.name);
        const auto image = readJpxPixels(read.jpx);
        ASSERT_EQ(image.has_value(), read.expected != nullptr);
        if (!image)
            continue;
        EXPECT_EQ(image->widthPixels, read.expected->widthPixels);
        EXPECT_EQ(image->channels, read.expected->channels);
        EXPECT_EQ(image->pixels, read.expected->pixels);
    }
    // Damaged anywhere, it reads as refused or as a whole image, and never crashes.
    std::mt19937 random(11);
    for (int trial = 0; trial < 200; ++trial) {
        Bytes damaged = whole;
        damaged[random() % damaged.size()] ^= static_cast<std::uint8_t>(1u << (random() % 8));
        if (const auto image = readJpxPixels(damaged)) {
            EXPECT_EQ(image->pixels.size(), image->byteCount());
        }
    }
    const auto layout = readJpxLayout(whole);
    ASSERT_TRUE(layout);
    EXPECT_EQ(std::tuple(layout->widthPixels, layout->heightPixels, layout->components),
              std::tuple(64, 48, 3));
    EXPECT_TRUE(layout->plainColour);
}

// Samples packed `bits` each, rows padded to a byte, from one value per pixel.
Bytes packed(const std::vector<int>& values, int width, int bits) {
    const std::size_t rowBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
    Bytes out(rowBytes * (values.size() / static_cast<std::size_t>(width)), 0);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const std::size_t bit = (i % static_cast<std::size_t>(width)) * bits;
        out[i / static_cast<std::size_t>(width) * rowBytes + bit / 8] |=
            static_cast<std::uint8_t>(values[i] << (8 - bits - static_cast<int>(bit % 8)));
    }
    return out;
}

// Images in CMYK (raw, or JPEG with each marking), indexed ones, ones of 2 or 16 bits and
// JPEG 2000 ones are resampled and stored as 8-bit JPEG in their colour space (an indexed
// one in its palette's, a JPEG 2000 one that left it to its data named), CMYK JPEGs marked as
// they were since readers differ on what the marking means; JPEG 2000 data cut short is kept
// as it is; every page looks as it did.
TEST(KeepingPDFCompressor, ReencodesImagesOfEveryKindAsTheyLook) {
    const int width = 800, height = 600;
    const Image rgb = Synth::photoLike(width, height, 31);
    Image ink{width, height, 4, 1, {}};
    Image cubeShown{width, height, 3, 1, {}}, shadeShown{width, height, 1, 1, {}};
    Image quarterShown{width, height, 1, 1, {}}, green{width, height, 1, 1, {}};
    std::vector<int> cube, shade, quarter;
    Bytes sixteen;
    for (std::size_t i = 0; i < rgb.pixels.size(); i += 3) {
        const int r = rgb.pixels[i], g = rgb.pixels[i + 1], b = rgb.pixels[i + 2];
        const int k = std::min({255 - r, 255 - g, 255 - b}) / 2;
        for (const int value : {255 - r - k, 255 - g - k, 255 - b - k, k})
            ink.pixels.push_back(static_cast<std::uint8_t>(value));
        cube.push_back((r + 25) / 51 * 36 + (g + 25) / 51 * 6 + (b + 25) / 51);
        shade.push_back((g + 8) / 17);
        for (const int value : {r, g, b})
            cubeShown.pixels.push_back(static_cast<std::uint8_t>((value + 25) / 51 * 51));
        shadeShown.pixels.push_back(static_cast<std::uint8_t>(shade.back() * 17));
        green.pixels.push_back(static_cast<std::uint8_t>(g));
        quarter.push_back((b + 42) / 85);
        quarterShown.pixels.push_back(static_cast<std::uint8_t>(quarter.back() * 85));
        for (const int value : {r, g, b})
            sixteen.insert(sixteen.end(), {std::uint8_t(value), std::uint8_t(255 - value)});
    }
    std::string cubeColours, grayLevels;
    for (int i = 0; i < 216; ++i)
        for (const int level : {i / 36, i / 6 % 6, i % 6})
            cubeColours.push_back(static_cast<char>(level * 51));
    for (int i = 0; i < 16; ++i)
        grayLevels.push_back(static_cast<char>(i * 17));

    struct Source {
        std::string space; // empty: left to a JPEG 2000 image's data
        int bits;
        Bytes stored;
        const char* filter;  // nullptr: raw samples
        const char* shownIn; // the new stream's colour space; nullptr: kept
        CmykMarking marking = CmykMarking::none;
    };
    const auto jpeg = [&ink](CmykMarking marking) {
        return *ImageCodec::encodeJpeg(ink, 0.9, marking);
    };
    const Bytes jpx = Synth::jpxBytes(rgb);
    const auto indexed = [](const char* base, int highest, const std::string& colours) {
        auto space =
            parse(std::string("[/Indexed ") + base + " " + std::to_string(highest) + " <>]");
        space.setArrayItem(3, QPDFObjectHandle::newString(colours));
        return space.unparse();
    };
    const std::vector<Source> sources = {
        {"/DeviceCMYK", 8, ink.pixels, nullptr, "/DeviceCMYK"},
        {"/DeviceCMYK", 8, jpeg(CmykMarking::none), "/DCTDecode", "/DeviceCMYK"},
        {"/DeviceCMYK", 8, jpeg(CmykMarking::adobe), "/DCTDecode", "/DeviceCMYK",
         CmykMarking::adobe},
        {"/DeviceCMYK", 8, jpeg(CmykMarking::adobeYcck), "/DCTDecode", "/DeviceCMYK",
         CmykMarking::adobeYcck},
        {indexed("/DeviceRGB", 215, cubeColours), 8, packed(cube, width, 8), nullptr, "/DeviceRGB"},
        {indexed("/DeviceGray", 15, grayLevels), 4, packed(shade, width, 4), nullptr,
         "/DeviceGray"},
        {"/DeviceRGB", 16, sixteen, nullptr, "/DeviceRGB"},
        {"/DeviceGray", 2, packed(quarter, width, 2), nullptr, "/DeviceGray"},
        {"/DeviceRGB", 8, jpx, "/JPXDecode", "/DeviceRGB"},
        {"", 8, Synth::jpxBytes(green, {.container = false}), "/JPXDecode", "/DeviceGray"},
        {"/DeviceRGB", 8, Bytes(jpx.begin(), jpx.begin() + jpx.size() / 2), "/JPXDecode", nullptr},
    };
    QPDF pdf;
    pdf.emptyPDF();
    for (const Source& source : sources) {
        auto stream =
            rawImage(pdf, width, height, source.space.empty() ? "/DeviceGray" : source.space,
                     source.bits, source.stored);
        if (source.filter)
            stream.replaceStreamData(std::string(source.stored.begin(), source.stored.end()),
                                     parse(source.filter), QPDFObjectHandle::newNull());
        if (source.space.empty()) {
            stream.getDict().removeKey("/ColorSpace");
            stream.getDict().removeKey("/BitsPerComponent");
        }
        auto xobjects = parse("<< >>");
        xobjects.replaceKey("/Picture", stream);
        addPage(pdf, "/MediaBox [0 0 200 160]", "q 144 0 0 108 28 26 cm /Picture Do Q", xobjects);
    }
    const Bytes source = written(pdf, true);
    auto set = PdfImageSet::open(source);
    ASSERT_TRUE(set);
    for (const auto& [index, shown] : {std::pair<int, const Image*>{0, &ink},
                                       {4, &cubeShown},
                                       {5, &shadeShown},
                                       {6, &rgb},
                                       {7, &quarterShown},
                                       {8, &rgb},
                                       {9, &green}}) {
        const auto pixels = set->pixels(index);
        ASSERT_TRUE(pixels);
        EXPECT_EQ(pixels->image.pixels, shown->pixels) << index;
    }
    const auto budget = static_cast<std::int64_t>(400'000 + sources.back().stored.size());
    const auto result = KeepingPDFCompressor::compress(source, SizeTarget::custom(budget), 2);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->method, Method::images);
    EXPECT_TRUE(result->fits);

    auto out = open(result->bytes);
    const auto before = PdfDocument::openBytes(source);
    const auto after = PdfDocument::openBytes(result->bytes);
    ASSERT_TRUE(before && after);
    for (std::size_t page = 0; page < sources.size(); ++page) {
        SCOPED_TRACE(page);
        const Source& source = sources[page];
        auto stream = image(*out, static_cast<int>(page), "/Picture");
        const auto data = stream.getRawStreamData();
        if (!source.shownIn) {
            EXPECT_EQ(Bytes(data->getBuffer(), data->getBuffer() + data->getSize()), source.stored);
        } else {
            EXPECT_TRUE(stream.getDict().getKey("/ColorSpace").isNameAndEquals(source.shownIn));
            ASSERT_TRUE(stream.getDict().getKey("/Filter").isNameAndEquals("/DCTDecode"));
            EXPECT_LT(widthOf(stream), width);
            CmykMarking marking{};
            ASSERT_TRUE(readJpegPixels({data->getBuffer(), data->getSize()}, &marking));
            EXPECT_EQ(marking, source.marking);
        }
        const auto shownBefore = before->renderPage(static_cast<int>(page), 200, 160);
        const auto shownAfter = after->renderPage(static_cast<int>(page), 200, 160);
        ASSERT_TRUE(shownBefore && shownAfter);
        double difference = 0;
        for (std::size_t i = 0; i < shownBefore->pixels.size(); ++i)
            difference += std::abs(int(shownBefore->pixels[i]) - int(shownAfter->pixels[i]));
        EXPECT_LT(difference / static_cast<double>(shownBefore->pixels.size()), 4.0);
    }
}

// Real files, damaged ones among them: whatever comes back has every page, is no larger than
// the file, opens, and carries its text; a file that cannot be opened gives nothing.
TEST(KeepingPDFCompressorCorpus, EveryResultKeepsEveryPageAndItsText) {
    // Minutes under the sanitizers; the generated documents above run there in full.
    if (Sandbox::underSanitizer()) {
        GTEST_SKIP() << "the corpus sweep runs in the Release build";
    }
    auto files = Corpus::withoutRendererHangs(Corpus::files("pdfs", {".pdf"}));
    for (const auto& damaged : Corpus::withoutRendererHangs(Corpus::files("damaged", {".pdf"})))
        files.push_back(damaged);
    if (files.empty()) {
        GTEST_SKIP() << "corpus not available";
    }
    for (const auto& file : files) {
        if (std::filesystem::file_size(file) > 2'000'000)
            continue;
        const Bytes original = Synth::readFile(file);
        const auto source = PdfDocument::openBytes(original);
        const auto target = SizeTarget::custom(static_cast<std::int64_t>(original.size()) / 2);
        const auto result = KeepingPDFCompressor::compress(original, target, 2);
        ASSERT_EQ(result.has_value(),
                  original.size() <= 1024 || (source && source->pageCount() > 0))
            << file;
        if (!result)
            continue;
        EXPECT_LE(result->bytes.size(), original.size()) << file;
        if (result->method == Method::unchanged)
            continue;
        const auto kept = PdfDocument::openBytes(result->bytes);
        ASSERT_TRUE(kept) << file;
        EXPECT_EQ(kept->pageCount(), source->pageCount()) << file;
        EXPECT_EQ(boxes(result->bytes), boxes(original)) << file;
        if (result->method == Method::lossless || result->method == Method::images) {
            EXPECT_EQ(texts(result->bytes), texts(original)) << file;
        }
    }
}

} // namespace
