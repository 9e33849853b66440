// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/ImageCompressor.h"
#include "Engine/QualitySearch.h"
#include "Platform/ImageCodec.h"
#include "support/Corpus.h"
#include "support/Synth.h"

#include <gtest/gtest.h>

namespace {

class ImageCompressorTest : public ::testing::Test {
protected:
    std::filesystem::path savePhoto(const std::string& name, int width, int height) {
        auto path = m_dir / name;
        Synth::save(Synth::photoLike(width, height), path);
        return path;
    }
    std::int64_t jpegSize(const Image& image, double quality) {
        const auto jpeg = ImageCompressor::jpegData(image, quality);
        return jpeg ? static_cast<std::int64_t>(jpeg->size()) : QualitySearch::kNoEncoding;
    }
    Synth::TempDir m_dir;
};

TEST_F(ImageCompressorTest, FindsTheQualityTheSequentialSearchFindsAndKeepsItsBytes) {
    const auto path = savePhoto("photo.png", 900, 600);
    const auto image = ImageCodec::decodeFile(path);
    ASSERT_TRUE(image);
    const std::int64_t atMinimum = jpegSize(*image, 0.05);
    for (std::int64_t budget : {atMinimum, atMinimum * 3, atMinimum * 8}) {
        const double expected = QualitySearch::bestQuality(
            budget, 0.05, 1.0, 8, [&](double q) { return jpegSize(*image, q); });
        for (int threads : {1, 2}) {
            const auto result =
                ImageCompressor::compressDetailed(path, SizeTarget::custom(budget), threads);
            ASSERT_TRUE(result);
            EXPECT_EQ(result->quality, expected) << "budget " << budget;
            EXPECT_LE(static_cast<std::int64_t>(result->jpeg.size()), budget);
            EXPECT_EQ(result->jpeg, ImageCompressor::jpegData(*image, expected));
        }
    }
}

TEST_F(ImageCompressorTest, ProbeCountsAtTheExtremes) {
    const auto path = savePhoto("small.png", 64, 48);
    const auto roomy = ImageCompressor::compressDetailed(path, SizeTarget::email(), 1);
    ASSERT_TRUE(roomy);
    EXPECT_EQ(roomy->quality, 0.9962890625);
    EXPECT_EQ(roomy->encodings, 9); // the Part's 10 less the repeated final encoding

    const auto big = savePhoto("big.png", 1600, 1200);
    const auto tight = ImageCompressor::compressDetailed(big, SizeTarget::custom(500), 1);
    ASSERT_TRUE(tight);
    EXPECT_EQ(tight->quality, 0.05);
    EXPECT_EQ(tight->encodings, 1);
    EXPECT_GT(tight->jpeg.size(), 1024u); // larger than the floored budget, still returned
    EXPECT_EQ(tight->jpeg, ImageCompressor::compress(big, SizeTarget::custom(1024)));
}

TEST_F(ImageCompressorTest, OutputKeepsTheFirstFramesPixelSize) {
    const auto path = savePhoto("odd.png", 641, 359);
    const auto jpeg = ImageCompressor::compress(path, SizeTarget::web());
    ASSERT_TRUE(jpeg);
    const auto info = ImageCodec::readJpegInfo(*jpeg);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->widthPixels, 641);
    EXPECT_EQ(info->heightPixels, 359);
}

TEST_F(ImageCompressorTest, FilesThatAreNotImagesGiveNothing) {
    Synth::writeFile(m_dir / "empty.jpg", {});
    Synth::writeFile(m_dir / "text.png", Bytes{'h', 'e', 'l', 'l', 'o'});
    for (const char* name : {"empty.jpg", "text.png", "missing.png"})
        EXPECT_FALSE(ImageCompressor::compress(m_dir / name, SizeTarget::web())) << name;
}

TEST(ImageCompressorCorpus, MultiFrameFilesGiveTheirFirstFrame) {
    struct Case {
        const char* file;
        int width, height;
    };
    for (const Case c : {Case{"images/iss634_animated.gif", 245, 245},
                         Case{"images/ome_multipage.tif", 439, 167}}) {
        const auto path = Corpus::file(c.file);
        if (!path) {
            GTEST_SKIP() << "corpus not available";
        }
        const auto jpeg = ImageCompressor::compress(*path, SizeTarget::web());
        ASSERT_TRUE(jpeg) << c.file;
        const auto info = ImageCodec::readJpegInfo(*jpeg);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->widthPixels, c.width) << c.file;
        EXPECT_EQ(info->heightPixels, c.height) << c.file;
    }
}

TEST(ImageCompressorCorpus, RealPhotosFitTheWebBudget) {
    const auto photos = Corpus::files("images", {".jpg", ".heic", ".heif", ".png"});
    if (photos.empty())
        GTEST_SKIP() << "corpus not available";
    const std::int64_t budget = SizeTarget::web().bytes();
    for (const auto& photo : photos) {
        const auto result = ImageCompressor::compressDetailed(photo, SizeTarget::web());
        ASSERT_TRUE(result) << photo;
        // Over budget only when even the lowest quality is: then that probe is the result.
        if (static_cast<std::int64_t>(result->jpeg.size()) > budget) {
            EXPECT_EQ(result->quality, 0.05) << photo;
        }
    }
}

TEST(ImageCompressorCorpus, DamagedFilesNeverCrash) {
    for (const auto& file : Corpus::files("damaged", {".jpg", ".png", ".gif", ".tif"})) {
        const auto result = ImageCompressor::compress(file, SizeTarget::web());
        if (result) {
            EXPECT_TRUE(ImageCodec::readJpegInfo(*result)) << file;
        }
    }
}

} // namespace
