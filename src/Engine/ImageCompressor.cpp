// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/ImageCompressor.h"

#include "Engine/QualitySearch.h"
#include "Platform/FileBytes.h"
#include "Platform/ImageCodec.h"
#include "Platform/JpegEncoder.h"

namespace ImageCompressor {
namespace {

constexpr double kMinQuality = 0.05;
constexpr double kMaxQuality = 1.0;
constexpr int kSteps = 8;

} // namespace

std::optional<Bytes> jpegData(const Image& image, double quality) {
    return ImageCodec::encodeJpeg(image, quality);
}

std::optional<Compression> compressDetailed(const std::filesystem::path& imageAt, SizeTarget target,
                                            int threads) {
    const auto file = readFileBytes(imageAt);
    if (!file)
        return std::nullopt;
    return compressDetailed(*file, target, threads);
}

std::optional<Compression> compressDetailed(std::span<const std::uint8_t> file, SizeTarget target,
                                            int threads) {
    const auto image = ImageCodec::decodeBytes(file);
    if (!image)
        return std::nullopt;
    const JpegEncoder encoder(*image);
    auto found = QualitySearch::bestEncoding(
        target.bytes(), kMinQuality, kMaxQuality, kSteps,
        [&encoder](double quality) { return encoder.encode(quality); }, threads);
    if (!found)
        return std::nullopt;
    return Compression{std::move(found->bytes), found->quality, found->encodings};
}

std::optional<Bytes> compress(const std::filesystem::path& imageAt, SizeTarget target) {
    auto result = compressDetailed(imageAt, target);
    if (!result)
        return std::nullopt;
    return std::move(result->jpeg);
}

} // namespace ImageCompressor
