// SPDX-License-Identifier: GPL-3.0-or-later
//
// Area averaging in integer arithmetic: the same bytes on every machine and for any number
// of threads. The weights of each output pixel's span are scaled to add up to exactly 4096,
// so that 8-bit samples weighted along both axes stay within 32 bits (255 · 4096 · 4096 <
// 2^32) and the loops run on plain 32-bit lanes.

#include "Platform/ImageResample.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ImageResample {
namespace {

constexpr std::uint32_t kScale = 4096;
constexpr int kShift = 12;

// For one axis: the source span of each output pixel (its first source pixel and its
// weights, which add up to kScale), the weights of all spans in one array.
struct Spans {
    std::vector<int> first;
    std::vector<std::size_t> offset; // output pixel i's weights: [offset[i], offset[i + 1])
    std::vector<std::uint32_t> weights;

    std::size_t count(std::size_t out) const { return offset[out + 1] - offset[out]; }
    const std::uint32_t* of(std::size_t out) const { return weights.data() + offset[out]; }
};

Spans spans(int source, int target) {
    Spans result;
    result.first.resize(static_cast<std::size_t>(target));
    result.offset.assign(static_cast<std::size_t>(target) + 1, 0);
    const auto total = static_cast<std::uint64_t>(source);
    const auto t = static_cast<std::uint64_t>(target);
    for (std::uint64_t out = 0; out < t; ++out) {
        // Output pixel `out` covers source positions [out·s/t, (out+1)·s/t): in units of
        // 1/t source pixel, [out·s, (out+1)·s), exactly. Each weight is the rounded running
        // share less the weights given before it, so they add up to kScale exactly.
        const std::uint64_t begin = out * total;
        const std::uint64_t end = (out + 1) * total;
        result.first[out] = static_cast<int>(begin / t);
        std::uint64_t covered = 0;
        std::uint32_t given = 0;
        for (std::uint64_t pixel = begin / t; pixel * t < end; ++pixel) {
            covered += std::min(end, (pixel + 1) * t) - std::max(begin, pixel * t);
            const auto upTo = static_cast<std::uint32_t>((covered * kScale + total / 2) / total);
            result.weights.push_back(upTo - given);
            given = upTo;
        }
        result.offset[out + 1] = result.weights.size();
    }
    return result;
}

// The source rows of one output row, weighted: each sum is at most 255 · kScale.
void sumRows(const Image& image, const Spans& rows, std::size_t y,
             std::vector<std::uint32_t>& sums) {
    const std::size_t rowBytes = image.bytesPerRow();
    const std::uint32_t* weights = rows.of(y);
    const std::uint8_t* in =
        image.pixels.data() + static_cast<std::size_t>(rows.first[y]) * rowBytes;
    std::uint32_t* sum = sums.data();
    const std::uint32_t w0 = weights[0];
    for (std::size_t i = 0; i < rowBytes; ++i)
        sum[i] = w0 * in[i];
    for (std::size_t k = 1; k < rows.count(y); ++k) {
        in += rowBytes;
        const std::uint32_t w = weights[k];
        for (std::size_t i = 0; i < rowBytes; ++i)
            sum[i] += w * in[i];
    }
}

// One output row from its row sums: the columns each output pixel covers, weighted again
// and brought back to 8 bits, rounded. All channels of a pixel are summed in one pass.
template <int Channels>
void reduceColumns(const std::vector<std::uint32_t>& sums, const Spans& columns, int channels,
                   std::uint8_t* put) {
    constexpr int kMaxChannels = 4;
    const int step = Channels > 0 ? Channels : channels;
    constexpr std::uint32_t kHalf = std::uint32_t{1} << (2 * kShift - 1);
    for (std::size_t x = 0; x < columns.first.size(); ++x) {
        const std::uint32_t* weights = columns.of(x);
        const std::size_t count = columns.count(x);
        const std::uint32_t* column =
            sums.data() + static_cast<std::size_t>(columns.first[x]) * step;
        if constexpr (Channels > 0 && Channels <= kMaxChannels) {
            std::uint32_t value[Channels];
            for (int c = 0; c < Channels; ++c)
                value[c] = kHalf;
            for (std::size_t k = 0; k < count; ++k, column += Channels)
                for (int c = 0; c < Channels; ++c)
                    value[c] += weights[k] * column[c];
            for (int c = 0; c < Channels; ++c)
                put[x * Channels + c] = static_cast<std::uint8_t>(value[c] >> (2 * kShift));
        } else {
            for (int c = 0; c < step; ++c) {
                std::uint32_t value = kHalf;
                for (std::size_t k = 0; k < count; ++k)
                    value += weights[k] * column[k * step + c];
                put[x * step + c] = static_cast<std::uint8_t>(value >> (2 * kShift));
            }
        }
    }
}

} // namespace

std::optional<Image> reduced(const Image& image, int widthPixels, int heightPixels) {
    if (image.widthPixels < 1 || image.heightPixels < 1 || image.channels < 1 ||
        image.pixels.size() != image.byteCount() || widthPixels < 1 || heightPixels < 1)
        return std::nullopt;
    const int width = std::min(widthPixels, image.widthPixels);
    const int height = std::min(heightPixels, image.heightPixels);
    Image out{width, height, image.channels, image.exifOrientation, {}, image.dotsPerInch};
    if (width == image.widthPixels && height == image.heightPixels) {
        out.pixels = image.pixels;
        return out;
    }
    out.pixels.resize(out.byteCount());
    const Spans rows = spans(image.heightPixels, height);
    const Spans columns = spans(image.widthPixels, width);
    std::vector<std::uint32_t> sums(image.bytesPerRow());
    for (std::size_t y = 0; y < static_cast<std::size_t>(height); ++y) {
        sumRows(image, rows, y, sums);
        std::uint8_t* put = out.pixels.data() + y * out.bytesPerRow();
        switch (image.channels) {
        case 1:
            reduceColumns<1>(sums, columns, 1, put);
            break;
        case 3:
            reduceColumns<3>(sums, columns, 3, put);
            break;
        default:
            reduceColumns<0>(sums, columns, image.channels, put);
        }
    }
    return out;
}

void threshold(Image& gray) {
    for (auto& pixel : gray.pixels)
        pixel = pixel < 128 ? 0 : 255;
}

} // namespace ImageResample
