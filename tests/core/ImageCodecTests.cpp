// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ImageCodec.h"
#include "support/Corpus.h"
#include "support/Synth.h"

#include <array>
#include <chrono>
#include <gtest/gtest.h>
#include <string>
#include <sys/resource.h>
#include <vips/vips8>

namespace {

using vips::VImage;

void ensureVips() {
    static std::once_flag once;
    std::call_once(once, [] { ASSERT_EQ(VIPS_INIT("parvo-tests"), 0); });
}

std::vector<double> bandMeans(const Image& image) {
    std::vector<double> sums(image.channels, 0.0);
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        sums[i % image.channels] += image.pixels[i];
    for (double& sum : sums)
        sum /= static_cast<double>(image.pixels.size() / image.channels);
    return sums;
}

std::vector<double> bandMeans(const VImage& image) {
    std::vector<double> means;
    for (int band = 0; band < image.bands(); ++band)
        means.push_back(image.extract_band(band).avg());
    return means;
}

void expectMeansNear(const std::vector<double>& actual, const std::vector<double>& expected,
                     double tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t band = 0; band < actual.size(); ++band)
        EXPECT_NEAR(actual[band], expected[band], tolerance) << "band " << band;
}

struct CorpusCase {
    const char* file;
    int width; // 0: must be refused
    int height;
    int channels;
    int orientation;
};

// What each corpus file must decode to: the first frame, orientation reported, never rotated.
constexpr std::array<CorpusCase, 24> kCorpusCases = {{
    {"images/abstract_circles_rgba.png", 3750, 3750, 3, 1},
    {"images/baiona_cmyk.jpg", 640, 682, 3, 1},
    {"images/baiona_gray.png", 640, 682, 1, 1},
    {"images/iphone13pm_p3_camera.jpg", 3024, 4032, 3, 1},
    {"images/iphone13pm_p3_orient1.heic", 4032, 3024, 3, 1},
    {"images/iss634_animated.gif", 245, 245, 3, 1},
    {"images/libheif_example.heic", 1280, 854, 3, 1},
    {"images/nokia83_phone.heif", 3456, 4608, 3, 1}, // libheif applies the container's irot
    {"images/olympus_ep3_camera.jpg", 4032, 3024, 3, 1},
    {"images/ome_multipage.tif", 439, 167, 1, 1},
    {"images/orientation_landscape_3.jpg", 1800, 1200, 3, 3},
    {"images/orientation_landscape_5.jpg", 1200, 1800, 3, 5},
    {"images/orientation_landscape_6.jpg", 1200, 1800, 3, 6},
    {"images/orientation_landscape_8.jpg", 1200, 1800, 3, 8},
    {"images/screenshot_ghostnet_wpf.png", 1718, 1648, 3, 1},
    {"images/vips_sample_16bit.png", 290, 442, 3, 1},
    {"scans/derived_multipage_g4_3p.tif", 2560, 3300, 1, 1},
    {"scans/eurotext.tif", 1024, 800, 1, 1},
    // Truncation and broken PNG checksums fail the decode instead of giving a half-grey picture.
    {"damaged/trunc50_canon_sx60_orient6.jpg", 0, 0, 0, 0},
    {"damaged/trunc50_vips_sample_16bit.png", 0, 0, 0, 0},
    {"damaged/trunc50_unlv_8071_093.tif", 0, 0, 0, 0},
    {"damaged/idatcrc_baiona_gray.png", 0, 0, 0, 0},
    {"damaged/empty_zero_bytes.jpg", 0, 0, 0, 0},
    {"pdfs/vips_cmyktest.pdf", 0, 0, 0, 0},
}};

TEST(ImageCodecDecode, CorpusFilesDecodeToTheirFirstFrameOrAreRefused) {
    if (!Corpus::root())
        GTEST_SKIP() << "corpus not available";
    for (const CorpusCase& expected : kCorpusCases) {
        SCOPED_TRACE(expected.file);
        const auto path = Corpus::file(expected.file);
        ASSERT_TRUE(path);
        const std::optional<Image> image = ImageCodec::decodeFile(*path);
        if (expected.width == 0) {
            EXPECT_FALSE(image);
            continue;
        }
        ASSERT_TRUE(image);
        EXPECT_EQ(image->widthPixels, expected.width);
        EXPECT_EQ(image->heightPixels, expected.height);
        EXPECT_EQ(image->channels, expected.channels);
        EXPECT_EQ(image->exifOrientation, expected.orientation);
        EXPECT_EQ(image->pixels.size(), image->byteCount());
    }
}

TEST(ImageCodecDecode, EveryDamagedFileGivesAbsentOrAWholeImage) {
    for (const auto& path : Corpus::files("damaged", {".jpg", ".png", ".gif", ".tif", ".pdf"})) {
        SCOPED_TRACE(path.string());
        const std::optional<Image> image = ImageCodec::decodeFile(path);
        if (image) {
            EXPECT_GT(image->widthPixels, 0);
            EXPECT_EQ(image->pixels.size(), image->byteCount());
        }
    }
}

TEST(ImageCodecDecode, BytesDecodeLikeTheFile) {
    for (const char* name : {"images/orientation_landscape_6.jpg", "images/baiona_gray.png",
                             "images/libheif_example.heic", "images/iss634_animated.gif"}) {
        SCOPED_TRACE(name);
        PARVO_CORPUS_FILE(path, name);
        const Bytes bytes = Synth::readFile(path);
        const auto fromFile = ImageCodec::decodeFile(path);
        const auto fromBytes = ImageCodec::decodeBytes(bytes);
        ASSERT_TRUE(fromFile && fromBytes);
        EXPECT_EQ(fromFile->pixels, fromBytes->pixels);
        EXPECT_EQ(fromFile->exifOrientation, fromBytes->exifOrientation);
    }
}

TEST(ImageCodecDecode, FirstFrameMatchesVipsFirstPage) {
    ensureVips();
    for (const char* name : {"images/iss634_animated.gif", "images/ome_multipage.tif"}) {
        SCOPED_TRACE(name);
        PARVO_CORPUS_FILE(path, name);
        const auto image = ImageCodec::decodeFile(path);
        ASSERT_TRUE(image);
        VImage page = VImage::new_from_file(path.c_str());
        if (page.has_alpha())
            page = page.flatten(VImage::option()->set("background", 255.0));
        expectMeansNear(bandMeans(*image), bandMeans(page.cast(VIPS_FORMAT_UCHAR)), 0.5);
    }
}

TEST(ImageCodecColour, CmykAndDisplayP3ComeOutAsVipsConvertsThem) {
    ensureVips();
    PARVO_CORPUS_FILE(cmyk, "images/baiona_cmyk.jpg");
    PARVO_CORPUS_FILE(p3, "images/iphone13pm_p3_camera.jpg");
    const auto fromCmyk = ImageCodec::decodeFile(cmyk);
    const auto fromP3 = ImageCodec::decodeFile(p3);
    ASSERT_TRUE(fromCmyk && fromP3);
    const VImage cmykSource = VImage::new_from_file(cmyk.c_str());
    const VImage viaCmykProfile =
        cmykSource.icc_transform("srgb", VImage::option()->set("input_profile", "cmyk"));
    expectMeansNear(bandMeans(*fromCmyk), bandMeans(viaCmykProfile), 0.5);
    // An inverted-CMYK mix-up would turn this mostly light map dark.
    EXPECT_GT(bandMeans(*fromCmyk)[0], 128.0);

    const VImage p3Source = VImage::new_from_file(p3.c_str());
    const VImage viaEmbedded = p3Source.icc_transform("srgb");
    expectMeansNear(bandMeans(*fromP3), bandMeans(viaEmbedded), 0.5);
    // The profile matters on this photo: ignoring it would be off by several levels.
    const std::vector<double> ignored = bandMeans(p3Source);
    double largestShift = 0;
    for (std::size_t band = 0; band < 3; ++band)
        largestShift = std::max(largestShift, std::abs(ignored[band] - bandMeans(*fromP3)[band]));
    EXPECT_GT(largestShift, 2.0);
}

TEST(ImageCodecColour, SixteenBitPngIsReducedToEightBit) {
    ensureVips();
    PARVO_CORPUS_FILE(path, "images/vips_sample_16bit.png");
    const auto image = ImageCodec::decodeFile(path);
    ASSERT_TRUE(image);
    const VImage reference =
        VImage::new_from_file(path.c_str()).colourspace(VIPS_INTERPRETATION_sRGB);
    expectMeansNear(bandMeans(*image), bandMeans(reference), 0.5);
}

// A 4×2 image: left half opaque red (or dark gray), right half fully transparent.
VImage halfTransparent(int bands, VipsBandFormat format) {
    const double top = format == VIPS_FORMAT_USHORT ? 65535.0 : 255.0;
    const std::vector<double> colour =
        bands == 4 ? std::vector<double>{top, 0, 0} : std::vector<double>{top / 5};
    const VImage canvas = VImage::black(2, 2).cast(VIPS_FORMAT_DOUBLE);
    const VImage left = canvas.new_from_image(colour).bandjoin_const({top});
    const VImage right = canvas.new_from_image(std::vector<double>(bands, 0.0));
    return left.join(right, VIPS_DIRECTION_HORIZONTAL).cast(format);
}

TEST(ImageCodecAlpha, TransparentPixelsBecomeWhiteAndGrayStaysGray) {
    ensureVips();
    Synth::TempDir dir;
    struct Case {
        int bands;
        VipsBandFormat format;
        VipsInterpretation interpretation;
        std::vector<std::uint8_t> opaque;
    };
    const std::vector<Case> cases = {
        {4, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_sRGB, {255, 0, 0}},
        {4, VIPS_FORMAT_USHORT, VIPS_INTERPRETATION_RGB16, {255, 0, 0}},
        {2, VIPS_FORMAT_UCHAR, VIPS_INTERPRETATION_B_W, {51}},
        {2, VIPS_FORMAT_USHORT, VIPS_INTERPRETATION_GREY16, {51}},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(testing::Message() << test.bands << " bands, format " << test.format);
        const auto path = dir / ("alpha" + std::to_string(test.bands) + "_" +
                                 std::to_string(test.format) + ".png");
        halfTransparent(test.bands, test.format)
            .copy(VImage::option()->set("interpretation", test.interpretation))
            .write_to_file(path.c_str());
        const auto image = ImageCodec::decodeFile(path);
        ASSERT_TRUE(image);
        ASSERT_EQ(image->channels, test.bands - 1);
        const std::size_t channels = image->channels;
        for (std::size_t c = 0; c < channels; ++c) {
            EXPECT_EQ(image->pixels[c], test.opaque[c]) << "opaque, channel " << c;
            EXPECT_EQ(image->pixels[3 * channels + c], 255) << "transparent, channel " << c;
        }
    }
}

TEST(ImageCodecRefusal, FormatsOutsideTheAllowListAreRefused) {
    Synth::TempDir dir;
    const std::string pdf =
        "%PDF-1.4\n1 0 obj<</Type/Catalog/Pages 2 0 R>>endobj\n2 0 obj<</Type/Pages/Kids[3 0 R]"
        "/Count 1>>endobj\n3 0 obj<</Type/Page/Parent 2 0 R/MediaBox[0 0 50 50]>>endobj\n"
        "trailer<</Root 1 0 R>>\n%%EOF\n";
    const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"20\" height=\"20\">"
                            "<rect width=\"20\" height=\"20\" fill=\"red\"/></svg>";
    const std::string ppm = std::string("P6\n2 2\n255\n") + std::string(12, '\x7f');
    const std::string csv = "1,2,3\n4,5,6\n";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"document.png", pdf}, {"drawing.png", svg}, {"drawing.svg", svg},
        {"picture.ppm", ppm},  {"table.csv", csv},   {"empty.png", ""}};
    for (const auto& [name, content] : cases) {
        SCOPED_TRACE(name);
        const Bytes bytes(content.begin(), content.end());
        Synth::writeFile(dir / name, bytes);
        EXPECT_FALSE(ImageCodec::decodeFile(dir / name));
        EXPECT_FALSE(ImageCodec::decodeBytes(bytes));
    }
    EXPECT_FALSE(ImageCodec::decodeFile(dir / "missing.png"));
}

TEST(ImageCodecRefusal, BracketsInAFileNameAreNotLoadOptions) {
    Synth::TempDir dir;
    const auto path = dir / "scan[page=3].png";
    Synth::save(Synth::photoLike(40, 30), dir / "plain.png");
    std::filesystem::rename(dir / "plain.png", path);
    const auto image = ImageCodec::decodeFile(path);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->widthPixels, 40);
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void appendChunk(Bytes& png, const char* type, const Bytes& data) {
    auto put32 = [&](std::uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            png.push_back(static_cast<std::uint8_t>(v >> shift));
    };
    put32(static_cast<std::uint32_t>(data.size()));
    const std::size_t start = png.size();
    png.insert(png.end(), type, type + 4);
    png.insert(png.end(), data.begin(), data.end());
    put32(crc32(png.data() + start, png.size() - start));
}

TEST(ImageCodecRefusal, HugeDimensionsAreRefusedFromTheHeaderAlone) {
    // A PNG claiming 60000×60000 RGB (10.8 GB decoded) with almost no data behind it.
    Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    appendChunk(png, "IHDR", {0, 0, 0xEA, 0x60, 0, 0, 0xEA, 0x60, 8, 2, 0, 0, 0});
    appendChunk(png, "IDAT", {0x78, 0x9C, 0x03, 0x00, 0x00, 0x00, 0x00, 0x01});
    appendChunk(png, "IEND", {});
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(ImageCodec::decodeBytes(png));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(elapsed, std::chrono::seconds(1));
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 100 * 1024); // kilobytes
}

TEST(ImageCodecJpegInfo, HeaderFieldsAndMalformedInput) {
    const Image gray{
        .widthPixels = 33, .heightPixels = 17, .channels = 1, .pixels = Bytes(33 * 17, 90)};
    const auto grayJpeg = ImageCodec::encodeJpeg(gray, 0.8);
    ASSERT_TRUE(grayJpeg);
    const auto info = ImageCodec::readJpegInfo(*grayJpeg);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->widthPixels, 33);
    EXPECT_EQ(info->heightPixels, 17);
    EXPECT_EQ(info->components, 1);
    EXPECT_FALSE(info->adobeInverted);

    const Bytes garbage = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x02, 0x13};
    EXPECT_FALSE(ImageCodec::readJpegInfo(garbage));
    EXPECT_FALSE(ImageCodec::readJpegInfo(Bytes{}));
    EXPECT_FALSE(ImageCodec::readJpegInfo(Bytes(grayJpeg->begin(), grayJpeg->begin() + 20)));

    const auto cmyk = Corpus::file("images/baiona_cmyk.jpg");
    if (!cmyk)
        return;
    const auto cmykInfo = ImageCodec::readJpegInfo(Synth::readFile(*cmyk));
    ASSERT_TRUE(cmykInfo);
    EXPECT_EQ(cmykInfo->components, 4);
    EXPECT_TRUE(cmykInfo->adobeInverted);
    EXPECT_EQ(cmykInfo->widthPixels, 640);
}

TEST(ImageCodecOrientation, CarriedIntoTheJpegAsExif) {
    ensureVips();
    for (int orientation : {3, 5, 6, 8}) {
        const std::string name =
            "images/orientation_landscape_" + std::to_string(orientation) + ".jpg";
        SCOPED_TRACE(name);
        PARVO_CORPUS_FILE(path, name);
        const auto image = ImageCodec::decodeFile(path);
        ASSERT_TRUE(image);
        const auto jpeg = ImageCodec::encodeJpeg(*image, 0.7);
        ASSERT_TRUE(jpeg);
        const VImage reread = VImage::new_from_buffer(jpeg->data(), jpeg->size(), "");
        EXPECT_EQ(reread.get_int(VIPS_META_ORIENTATION), orientation);
        EXPECT_EQ(reread.get_typeof(VIPS_META_ICC_NAME), 0u);
        EXPECT_EQ(reread.get_typeof(VIPS_META_XMP_NAME), 0u);
    }
}

} // namespace
