// SPDX-License-Identifier: GPL-3.0-or-later
//
// Area averaging with weights in 1/65536 of a source pixel, in integer arithmetic: the same
// bytes on every machine and for any number of threads.

#include "Platform/ImageResample.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace ImageResample {
namespace {

constexpr std::uint64_t kOne = 65536;

// For one axis: the source span of each output pixel as (first, weights), weights in kOne
// units of the span's source pixels, and 2^47 / their sum, so that averaging multiplies
// instead of dividing.
struct Span {
    int first = 0;
    std::vector<std::uint64_t> weights;
    std::uint64_t inverse = 0;
};

std::vector<Span> spans(int source, int target) {
    std::vector<Span> result(static_cast<std::size_t>(target));
    for (int out = 0; out < target; ++out) {
        // Output pixel `out` covers source positions [out·s/t, (out+1)·s/t), in kOne units.
        const std::uint64_t begin = std::uint64_t(out) * std::uint64_t(source) * kOne / target;
        const std::uint64_t end = std::uint64_t(out + 1) * std::uint64_t(source) * kOne / target;
        Span& span = result[static_cast<std::size_t>(out)];
        span.first = static_cast<int>(begin / kOne);
        std::uint64_t total = 0;
        for (std::uint64_t pixel = span.first; pixel * kOne < end; ++pixel) {
            const std::uint64_t from = std::max(begin, pixel * kOne);
            const std::uint64_t to = std::min(end, (pixel + 1) * kOne);
            span.weights.push_back(to - from);
            total += to - from;
        }
        span.inverse = (std::uint64_t{1} << 47) / total;
    }
    return result;
}

// The source rows of one output row, summed with their weights. A sum is at most 255 times
// its weights' total (source rows per output row × 65536), so 32 bits hold it for spans of
// up to 256 rows, which is every span but those of extreme reductions.
template <typename Sum> void sumRows(const Image& image, const Span& rows, std::vector<Sum>& sums) {
    const std::size_t rowBytes = image.bytesPerRow();
    std::fill(sums.begin(), sums.end(), 0);
    for (std::size_t k = 0; k < rows.weights.size(); ++k) {
        const std::uint8_t* in = image.pixels.data() + (rows.first + k) * rowBytes;
        const auto weight = static_cast<Sum>(rows.weights[k]);
        for (std::size_t i = 0; i < rowBytes; ++i)
            sums[i] += weight * in[i];
    }
}

// One output row: the source rows it covers averaged (keeping 8 more bits), then the
// columns. Only a row of sums is held besides the source and the result. Products stay
// below 2^64: a sum is at most 255 × 256 times its weights' total.
void reduceRow(const Image& image, const Span& rows, const std::vector<Span>& columns,
               std::vector<std::uint32_t>& narrow, std::vector<std::uint64_t>& sums,
               std::uint8_t* put) {
    if (rows.weights.size() <= 256) {
        sumRows(image, rows, narrow);
        std::copy(narrow.begin(), narrow.end(), sums.begin());
    } else {
        sumRows(image, rows, sums);
    }
    for (auto& sum : sums)
        sum = (sum * rows.inverse + (std::uint64_t{1} << 38)) >> 39;
    const int channels = image.channels;
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const Span& span = columns[x];
        const std::uint64_t* column = sums.data() + static_cast<std::size_t>(span.first) * channels;
        for (int c = 0; c < channels; ++c) {
            std::uint64_t value = 0;
            for (std::size_t k = 0; k < span.weights.size(); ++k)
                value += span.weights[k] * column[k * channels + c];
            put[x * channels + c] =
                static_cast<std::uint8_t>((value * span.inverse + (std::uint64_t{1} << 54)) >> 55);
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
    const auto rows = spans(image.heightPixels, height);
    const auto columns = spans(image.widthPixels, width);
    std::vector<std::uint32_t> narrow(image.bytesPerRow());
    std::vector<std::uint64_t> sums(image.bytesPerRow());
    for (int y = 0; y < height; ++y)
        reduceRow(image, rows[static_cast<std::size_t>(y)], columns, narrow, sums,
                  out.pixels.data() + static_cast<std::size_t>(y) * out.bytesPerRow());
    return out;
}

void threshold(Image& gray) {
    for (auto& pixel : gray.pixels)
        pixel = pixel < 128 ? 0 : 255;
}

} // namespace ImageResample
