// SPDX-License-Identifier: GPL-3.0-or-later
// PDF pages that are one scanned image keep that image's own stream in the searchable PDF.
#include "Engine/SearchablePDF.h"
#include "Engine/SearchablePage.h"
#include "Platform/G4Encoder.h"
#include "Platform/ImageCodec.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfWriter.h"
#include "Platform/TextRecognizer.h"
#include "support/RecognizerTest.h"
#include "support/ScanImages.h"
#include "support/ScanPdf.h"
#include "support/Synth.h"
#include "support/TextPages.h"

#include <gtest/gtest.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <set>
#include <vips/vips8>

namespace {

using TextPages::kScale;

using ScanPdf::filling;
using ScanPdf::lossless;

std::string number(double value) {
    return QPDFObjectHandle::newReal(value, 3, true).unparse();
}

Image bilevel(const Image& gray) {
    Image result = gray;
    for (std::uint8_t& pixel : result.pixels)
        pixel = pixel < 160 ? 0 : 255;
    return result;
}

// Blue text: an RGB picture that stays RGB.
Image blue(const Image& gray) {
    Image rgb{gray.widthPixels, gray.heightPixels, 3, 1, {}};
    for (const std::uint8_t value : gray.pixels)
        rgb.pixels.insert(rgb.pixels.end(), {value, value, 255});
    return rgb;
}

Image gradient(int width, int height) {
    Image gray{width, height, 1, 1, {}};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            gray.pixels.push_back(static_cast<std::uint8_t>(128 + 127 * x / width));
    return gray;
}

Bytes srgbProfile() {
    VipsBlob* blob = vips::VImage::profile_load("srgb");
    std::size_t length = 0;
    const auto* data = static_cast<const std::uint8_t*>(vips_blob_get(blob, &length));
    Bytes profile(data, data + length);
    vips_area_unref(VIPS_AREA(blob));
    return profile;
}

struct Case {
    const char* name;
    ScanPdf::Page page;
    bool kept;
    double leastRecall = 0.85; // bilevel scans lose a word or two
};

std::vector<Case> cases(const Image& text) {
    const double w = text.widthPixels / kScale;
    const double h = text.heightPixels / kScale;
    const Image mask = bilevel(text);
    const auto g4 = G4Encoder::encode(mask);
    const std::string g4Dictionary = "<< /Width " + std::to_string(mask.widthPixels) + " /Height " +
                                     std::to_string(mask.heightPixels) +
                                     " /ImageMask true /BitsPerComponent 1 /Filter "
                                     "/CCITTFaxDecode /DecodeParms << /K -1 /Columns " +
                                     std::to_string(mask.widthPixels) + " /Rows " +
                                     std::to_string(mask.heightPixels) + " /BlackIs1 " +
                                     (g4->blackIsOne ? "true" : "false") + " >> >>";
    const Image sideways = ScanImages::turnedBy(mask, 270);
    const Image rgb = blue(text);
    return {
        {"JPEG with an ICC profile",
         {w, h, 0,
          [rgb](QPDF& pdf) {
              auto image = ScanPdf::imageStream(pdf, Synth::jpegBytes(rgb),
                                                "<< /Width " + std::to_string(rgb.widthPixels) +
                                                    " /Height " + std::to_string(rgb.heightPixels) +
                                                    " /BitsPerComponent 8 /Filter /DCTDecode >>");
              const Bytes profile = srgbProfile();
              auto icc =
                  QPDFObjectHandle::newStream(&pdf, std::string(profile.begin(), profile.end()));
              icc.getDict().replaceKey("/N", QPDFObjectHandle::newInteger(3));
              auto space = QPDFObjectHandle::parse("[/ICCBased]");
              space.appendItem(icc);
              image.getDict().replaceKey("/ColorSpace", space);
              return image;
          },
          filling(w, h), "", ""},
         true},
        {"CCITT G4 stencil mask, red, its top clipped off",
         {w, h, 0,
          [g4, g4Dictionary](QPDF& pdf) {
              return ScanPdf::imageStream(pdf, g4->data, g4Dictionary);
          },
          filling(w, h), "1 0 0 rg 0 0 " + number(w) + " " + number(0.7 * h) + " re W n\n", ""},
         true,
         0.5},
        {"JBIG2 with globals, on a page turned by /Rotate",
         {h, w, 90,
          [sideways](QPDF& pdf) {
              Bytes globals;
              const Bytes page = ScanPdf::jbig2Page(sideways, globals);
              auto image = ScanPdf::imageStream(
                  pdf, page,
                  "<< /Width " + std::to_string(sideways.widthPixels) + " /Height " +
                      std::to_string(sideways.heightPixels) +
                      " /ColorSpace /DeviceGray "
                      "/BitsPerComponent 1 /Filter /JBIG2Decode /Decode [1 0] >>");
              auto parms = QPDFObjectHandle::newDictionary();
              parms.replaceKey(
                  "/JBIG2Globals",
                  QPDFObjectHandle::newStream(&pdf, std::string(globals.begin(), globals.end())));
              image.getDict().replaceKey("/DecodeParms", parms);
              return image;
          },
          filling(h, w), "", ""},
         true},
        {"Flate with a soft mask, under an old text layer",
         {w, h, 0,
          lossless(rgb,
                   [rgb](QPDF& pdf, QPDFObjectHandle dict) {
                       dict.replaceKey("/SMask",
                                       lossless(gradient(rgb.widthPixels, rgb.heightPixels))(pdf));
                   }),
          filling(w, h), "BT 3 Tr /F1 12 Tf 10 10 Td (Zyxwvut qwerty) Tj ET\n", ""},
         true},
        {"turned by its placement, through a graphics state",
         {w, h, 0, lossless(ScanImages::turnedBy(text, 270)),
          "0 " + number(-h) + " " + number(w) + " 0 0 " + number(h), "/GS0 gs\n", ""},
         true},
        {"with a line drawn",
         {w, h, 0, lossless(text), filling(w, h), "", "0 0 m 50 50 l S\n"},
         false},
        {"with a second image",
         {w, h, 0, lossless(text), filling(w, h), "", "q 20 0 0 20 5 5 cm /Im0 Do Q\n"},
         false},
    };
}

class ScannedPdfTest : public RecognizerTest {};

} // namespace

// A scanned page shows its image with the very bytes it had, with everything they refer to,
// placed as the source placed it; a page holding anything else is rendered. Either way the
// page looks as it did, carries the recognised text, and the old text layer is gone.
TEST_F(ScannedPdfTest, ScannedPagesKeepTheirImageStreamsAndOthersAreRendered) {
    const TextPages::Page page = TextPages::paragraph(160, 260);
    const Image text = TextPages::image(page);
    const std::vector<TextPages::Word> drawn = TextPages::drawnWords(page);
    const Synth::TempDir dir;
    for (const Case& c : cases(text)) {
        SCOPED_TRACE(c.name);
        const Bytes source = ScanPdf::pdf({c.page});
        Synth::writeFile(dir / "scan.pdf", source);
        const auto searchable = SearchablePDF::makeSearchable(dir / "scan.pdf", kScale, one());
        ASSERT_TRUE(searchable.has_value());
        if (c.kept)
            EXPECT_EQ(ScanPdf::imageStreams(*searchable), ScanPdf::imageStreams(source));
        else
            EXPECT_NE(ScanPdf::imageStreams(*searchable), ScanPdf::imageStreams(source));
        // A rendered page is stored as pixels, which Poppler shows as it shows any picture.
        const Image looked = ScanImages::rendered(source, 0, kScale);
        EXPECT_LT(ScanImages::meanDifference(ScanImages::rendered(*searchable),
                                             c.kept ? looked : ScanImages::shownAlone(looked)),
                  1.0);
        const auto words = TextPages::words(*searchable).at(0);
        EXPECT_GE(TextPages::recall(words, drawn), c.leastRecall);
        EXPECT_TRUE(std::none_of(words.begin(), words.end(), [](const TextPages::Word& word) {
            return word.text == "Zyxwvut";
        }));
    }
}

// Pages that show one image object are given one copy of it, as the source has.
TEST_F(ScannedPdfTest, AnImageSharedByPagesIsStoredOnce) {
    const Image blank{200, 100, 1, 1, Bytes(200 * 100, 255)};
    const auto shared = std::make_shared<std::optional<QPDFObjectHandle>>();
    const ScanPdf::ImageMaker once = [shared, blank](QPDF& pdf) {
        if (!*shared)
            *shared = lossless(blank)(pdf);
        return **shared;
    };
    const Synth::TempDir dir;
    Synth::writeFile(dir / "shared.pdf",
                     ScanPdf::pdf({{100, 50, 0, once, filling(100, 50), "", ""},
                                   {50, 100, 0, once, "0 -100 50 0 0 100", "", ""}}));
    const auto searchable = SearchablePDF::makeSearchable(dir / "shared.pdf", kScale, one());
    ASSERT_TRUE(searchable.has_value());
    QPDF document;
    document.processMemoryFile("out", reinterpret_cast<const char*>(searchable->data()),
                               searchable->size());
    std::set<QPDFObjGen> images;
    for (auto& page : QPDFPageDocumentHelper(document).getAllPages())
        for (auto& [name, image] : page.getImages())
            images.insert(image.getObjGen());
    EXPECT_EQ(images.size(), 1u);
}

// A scan finer than the page's rendering is read at its own resolution, up to 600 ppi and
// as far as the pixel limit allows; other pages keep the caller's scale.
TEST(ScannedPdfReadingScale, FollowsTheScanUpToItsLimits) {
    const auto scanAt = [](double pixelsPerPoint) {
        return PdfPageImage{Affine::scaling(100, 50),
                            {},
                            "",
                            static_cast<int>(100 * pixelsPerPoint),
                            static_cast<int>(50 * pixelsPerPoint),
                            nullptr};
    };
    const PageSize letter{612, 792};
    const PageSize huge{4000, 5000};
    struct Case {
        PageSize page;
        std::optional<PdfPageImage> scan;
        double expected; // 0: the largest scale within the pixel limit
    };
    const std::vector<Case> cases = {
        {letter, std::nullopt, 2},
        {letter, scanAt(1.5), 2},
        {letter, scanAt(2), 2},
        {letter, scanAt(3), 3},
        {letter, scanAt(2400.0 / 72), 600.0 / 72},
        {letter, PdfPageImage{Affine::scaling(100, 50), {}, "", 1000, 0, nullptr}, 2},
        {huge, scanAt(600.0 / 72), 0},
        {{14400, 14400}, scanAt(600.0 / 72), 2},
    };
    for (const Case& c : cases) {
        const double scale = SearchablePages::readingScale(c.page, 2, c.scan);
        if (c.expected > 0) {
            EXPECT_DOUBLE_EQ(scale, c.expected);
            continue;
        }
        const double pixels =
            std::round(c.page.widthPoints * scale) * std::round(c.page.heightPoints * scale);
        EXPECT_LE(pixels, static_cast<double>(ImageCodec::kMaxPixels));
        EXPECT_GT(pixels, 0.999 * static_cast<double>(ImageCodec::kMaxPixels));
    }
}

// Fine print on a small page: a 1152 ppi scan, rendered at 2 pixels a point, keeps no legible
// word (nothing is found, upright or sideways). Read at 600 ppi instead, it reads as well as the
// same picture given as an image, its words in place on a page the caller's scale sizes.
TEST_F(ScannedPdfTest, AFineScanOnASmallPageIsReadAtItsOwnResolution) {
    const TextPages::Page page = TextPages::paragraph(160, 200);
    constexpr double kScanScale = 4;
    constexpr double kPixelsPerPoint = 16;
    const Image scan = ScanImages::rendered(TextPages::pdf({page}), 0, kScanScale);
    const auto asImage = SearchablePDF::buildFromImages({scan}, one());
    ASSERT_TRUE(asImage.has_value());
    std::vector<TextPages::Word> drawn = TextPages::drawnWords(page);
    const double imageRecall = TextPages::recall(TextPages::words(*asImage).at(0), drawn);
    EXPECT_GT(imageRecall, 0.9);
    // Words move from the 2 pixels a point they were drawn at onto the new page.
    const double toPage = kScanScale / kPixelsPerPoint;
    for (TextPages::Word& word : drawn)
        for (double* side : {&word.left, &word.top, &word.right, &word.bottom})
            *side *= toPage;
    for (const int turn : {0, 90}) {
        SCOPED_TRACE(turn);
        const Bytes source =
            ScanPdf::pdf({ScanPdf::filledWith(ScanImages::turnedBy(scan, turn), kPixelsPerPoint)});
        const auto searchable = SearchablePDF::makeSearchable(source, kScale, one());
        ASSERT_TRUE(searchable.has_value());
        const auto box = PdfDocument::openBytes(*searchable)->mediaBox(0);
        EXPECT_NEAR(box->widthPoints, page.widthPoints * kScale * toPage, 0.5);
        EXPECT_NEAR(box->heightPoints, page.heightPoints * kScale * toPage, 0.5);
        const auto words = TextPages::words(*searchable).at(0);
        EXPECT_GE(TextPages::recall(words, drawn), imageRecall - 0.03);
        EXPECT_GT(TextPages::onWords(words, drawn), 0.8);
        EXPECT_EQ(ScanPdf::imageStreams(*searchable), ScanPdf::imageStreams(source));
    }
}
