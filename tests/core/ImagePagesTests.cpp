// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ImageCodec.h"
#include "support/Corpus.h"
#include "support/Synth.h"

#include <array>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <vips/vips8>

namespace {

using vips::VImage;

void ensureVips() {
    static std::once_flag once;
    std::call_once(once, [] { ASSERT_EQ(VIPS_INIT("parvo-tests"), 0); });
}

// Every pixel channel distinct (modulo 256), so a misplaced pixel shows.
Image numbered(int width, int height, int channels, int start = 0) {
    Image image{width, height, channels, 1, {}};
    image.pixels.resize(image.byteCount());
    for (std::size_t i = 0; i < image.pixels.size(); ++i)
        image.pixels[i] = static_cast<std::uint8_t>(start + 7 * static_cast<int>(i));
    return image;
}

VImage toVips(const Image& image) {
    ensureVips();
    return VImage::new_from_memory(const_cast<std::uint8_t*>(image.pixels.data()),
                                   image.pixels.size(), image.widthPixels, image.heightPixels,
                                   image.channels, VIPS_FORMAT_UCHAR)
        .copy_memory();
}

Bytes pixelsOf(const VImage& image) {
    std::size_t size = 0;
    void* memory = image.write_to_memory(&size);
    Bytes bytes(static_cast<std::uint8_t*>(memory), static_cast<std::uint8_t*>(memory) + size);
    g_free(memory);
    return bytes;
}

// Pages of equal size stacked top to bottom, saved as one multi-page file (TIFF, GIF).
void savePages(const std::vector<Image>& pages, const std::filesystem::path& path) {
    std::vector<VImage> stack;
    for (const Image& page : pages)
        stack.push_back(toVips(page));
    VImage joined = VImage::arrayjoin(stack, VImage::option()->set("across", 1));
    joined = joined.copy();
    joined.set(VIPS_META_PAGE_HEIGHT, pages.front().heightPixels);
    joined.write_to_file(path.c_str());
}

void saveWithResolution(const Image& image, double dotsPerInch, const std::filesystem::path& path) {
    VImage withResolution = toVips(image).copy(
        VImage::option()->set("xres", dotsPerInch / 25.4)->set("yres", dotsPerInch / 25.4));
    withResolution.write_to_file(path.c_str());
}

TEST(ImagePages, EveryTiffPageDecodesInOrderAndNothingPastTheLast) {
    const Synth::TempDir dir;
    const std::vector<Image> pages = {numbered(40, 30, 1, 0), numbered(40, 30, 1, 90),
                                      numbered(40, 30, 1, 200)};
    savePages(pages, dir / "pages.tif");

    ASSERT_EQ(ImageCodec::filePageCount(dir / "pages.tif"), 3);
    for (int index = 0; index < 3; ++index) {
        const auto page = ImageCodec::decodeFilePage(dir / "pages.tif", index);
        ASSERT_TRUE(page.has_value()) << "page " << index;
        EXPECT_EQ(page->widthPixels, 40);
        EXPECT_EQ(page->heightPixels, 30);
        EXPECT_EQ(page->pixels, pages[static_cast<std::size_t>(index)].pixels) << "page " << index;
    }
    EXPECT_FALSE(ImageCodec::decodeFilePage(dir / "pages.tif", 3).has_value());
    EXPECT_FALSE(ImageCodec::decodeFilePage(dir / "pages.tif", -1).has_value());
    EXPECT_EQ(ImageCodec::decodeFilePage(dir / "pages.tif", 0)->pixels,
              ImageCodec::decodeFile(dir / "pages.tif")->pixels);
}

TEST(ImagePages, OtherFormatsCountTheirFirstFrameOnlyAndNonImagesNone) {
    const Synth::TempDir dir;
    const Image frame = numbered(24, 16, 3);
    Synth::save(frame, dir / "one.png");
    Synth::save(frame, dir / "one.jpg");
    savePages({numbered(24, 16, 3, 0), numbered(24, 16, 3, 50), numbered(24, 16, 3, 100)},
              dir / "animated.gif");
    Synth::writeFile(dir / "notes.tif", Bytes{'h', 'e', 'l', 'l', 'o'});
    Synth::writeFile(dir / "fake.png", Bytes{'%', 'P', 'D', 'F', '-', '1', '.', '4', '\n'});

    struct Case {
        const char* name;
        int pages;
    };
    const std::array<Case, 6> cases = {{{"one.png", 1},
                                        {"one.jpg", 1},
                                        {"animated.gif", 1},
                                        {"notes.tif", 0},
                                        {"fake.png", 0},
                                        {"missing.tif", 0}}};
    for (const Case& c : cases) {
        EXPECT_EQ(ImageCodec::filePageCount(dir / c.name), c.pages) << c.name;
        EXPECT_EQ(ImageCodec::decodeFilePage(dir / c.name, 0).has_value(), c.pages > 0) << c.name;
        EXPECT_FALSE(ImageCodec::decodeFilePage(dir / c.name, 1).has_value()) << c.name;
    }
}

TEST(ImagePages, CorpusMultiPageFilesGiveEachPageAtItsOwnSizeAndResolution) {
    PARVO_CORPUS_FILE(scans, "scans/derived_multipage_g4_3p.tif");
    PARVO_CORPUS_FILE(ome, "images/ome_multipage.tif");
    PARVO_CORPUS_FILE(gif, "images/iss634_animated.gif");

    struct Expected {
        int width;
        int height;
        double dotsPerInch;
    };
    // unlv_8087_054, phototest and eurotext, repacked in that order.
    const std::array<Expected, 3> expected = {
        {{2560, 3300, 300}, {640, 480, 200}, {1024, 800, 300}}};
    ASSERT_EQ(ImageCodec::filePageCount(scans), 3);
    for (int index = 0; index < 3; ++index) {
        const auto page = ImageCodec::decodeFilePage(scans, index);
        ASSERT_TRUE(page.has_value()) << "page " << index;
        const Expected& want = expected[static_cast<std::size_t>(index)];
        EXPECT_EQ(page->widthPixels, want.width) << "page " << index;
        EXPECT_EQ(page->heightPixels, want.height) << "page " << index;
        EXPECT_EQ(page->channels, 1);
        EXPECT_NEAR(page->dotsPerInch, want.dotsPerInch, 0.5) << "page " << index;
    }
    EXPECT_EQ(ImageCodec::filePageCount(ome), 15);
    EXPECT_EQ(ImageCodec::decodeFilePage(ome, 14)->widthPixels, 439);
    EXPECT_EQ(ImageCodec::filePageCount(gif), 1);
}

TEST(ImagePages, DeclaredResolutionIsReportedAndDefaultsAreNot) {
    const Synth::TempDir dir;
    const Image image = numbered(20, 20, 1);
    struct Case {
        const char* name;
        double savedDotsPerInch;
        double expected; // 0: unknown
    };
    // libvips reads "no resolution" as 72 dpi (or 25.4), and 72 is a camera's placeholder.
    const std::array<Case, 6> cases = {{{"300.png", 300, 300},
                                        {"25.png", 25.4, 0},
                                        {"150.jpg", 150, 150},
                                        {"72.jpg", 72, 0},
                                        {"200.tif", 200, 200},
                                        {"72.tif", 72, 0}}};
    for (const Case& c : cases) {
        saveWithResolution(image, c.savedDotsPerInch, dir / c.name);
        const auto decoded = ImageCodec::decodeFilePage(dir / c.name, 0);
        ASSERT_TRUE(decoded.has_value()) << c.name;
        EXPECT_NEAR(decoded->dotsPerInch, c.expected, 0.5) << c.name;
    }
    PARVO_CORPUS_FILE(undeclared, "scans/congress_historical.jpg");
    EXPECT_EQ(ImageCodec::decodeFilePage(undeclared, 0)->dotsPerInch, 0);
}

TEST(ImagePages, TurnedUprightMatchesLibvipsForEveryOrientation) {
    for (const int channels : {1, 3}) {
        for (int orientation = 1; orientation <= 8; ++orientation) {
            Image stored = numbered(5, 3, channels);
            stored.exifOrientation = orientation;
            stored.dotsPerInch = 300;
            VImage reference = toVips(stored).copy();
            reference.set(VIPS_META_ORIENTATION, orientation);
            reference = reference.autorot();

            const auto upright = ImageCodec::turnedUpright(stored);
            ASSERT_TRUE(upright.has_value());
            SCOPED_TRACE("orientation " + std::to_string(orientation) + ", channels " +
                         std::to_string(channels));
            EXPECT_EQ(upright->widthPixels, reference.width());
            EXPECT_EQ(upright->heightPixels, reference.height());
            EXPECT_EQ(upright->channels, channels);
            EXPECT_EQ(upright->exifOrientation, 1);
            EXPECT_EQ(upright->dotsPerInch, 300);
            EXPECT_EQ(upright->pixels, pixelsOf(reference));
        }
    }
}

TEST(ImagePages, TurningAMalformedImageIsAbsent) {
    Image badOrientation = numbered(4, 4, 3);
    badOrientation.exifOrientation = 9;
    Image zeroOrientation = numbered(4, 4, 3);
    zeroOrientation.exifOrientation = 0;
    Image shortPixels = numbered(4, 4, 3);
    shortPixels.exifOrientation = 6;
    shortPixels.pixels.pop_back();
    Image empty;
    empty.exifOrientation = 6;
    for (const Image* image : {&badOrientation, &zeroOrientation, &shortPixels, &empty})
        EXPECT_FALSE(ImageCodec::turnedUpright(*image).has_value());
}

} // namespace
