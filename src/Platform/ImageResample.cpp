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

constexpr std::int64_t kOne = 65536;

// For one axis: the source span of each output pixel as (first, weights), weights in kOne
// units of the span's source pixels, summing to about source/target × kOne.
struct Span {
    int first = 0;
    std::vector<std::int64_t> weights;
};

std::vector<Span> spans(int source, int target) {
    std::vector<Span> result(static_cast<std::size_t>(target));
    for (int out = 0; out < target; ++out) {
        // Output pixel `out` covers source positions [out·s/t, (out+1)·s/t), in kOne units.
        const std::int64_t begin = std::int64_t{out} * source * kOne / target;
        const std::int64_t end = std::int64_t{out + 1} * source * kOne / target;
        Span& span = result[static_cast<std::size_t>(out)];
        span.first = static_cast<int>(begin / kOne);
        for (std::int64_t pixel = span.first; pixel * kOne < end; ++pixel) {
            const std::int64_t from = std::max(begin, pixel * kOne);
            const std::int64_t to = std::min(end, (pixel + 1) * kOne);
            span.weights.push_back(to - from);
        }
    }
    return result;
}

std::int64_t total(const Span& span) {
    std::int64_t sum = 0;
    for (const auto weight : span.weights)
        sum += weight;
    return sum;
}

// One output row: the source rows it covers averaged (keeping 8 more bits), then the
// columns. Only a row of sums is held besides the source and the result.
void reduceRow(const Image& image, const Span& rows, const std::vector<Span>& columns,
               std::vector<std::int64_t>& sums, std::uint8_t* put) {
    const std::size_t rowBytes = image.bytesPerRow();
    std::fill(sums.begin(), sums.end(), 0);
    for (std::size_t k = 0; k < rows.weights.size(); ++k) {
        const std::uint8_t* in = image.pixels.data() + (rows.first + k) * rowBytes;
        for (std::size_t i = 0; i < rowBytes; ++i)
            sums[i] += rows.weights[k] * in[i];
    }
    const std::int64_t rowTotal = total(rows);
    for (auto& sum : sums)
        sum = (sum * 256 + rowTotal / 2) / rowTotal;
    const int channels = image.channels;
    for (std::size_t x = 0; x < columns.size(); ++x) {
        const Span& span = columns[x];
        const std::int64_t divisor = total(span) * 256;
        for (int c = 0; c < channels; ++c) {
            std::int64_t value = 0;
            for (std::size_t k = 0; k < span.weights.size(); ++k)
                value += span.weights[k] * sums[(span.first + k) * channels + c];
            put[x * channels + c] = static_cast<std::uint8_t>((value + divisor / 2) / divisor);
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
    std::vector<std::int64_t> sums(image.bytesPerRow());
    for (int y = 0; y < height; ++y)
        reduceRow(image, rows[static_cast<std::size_t>(y)], columns, sums,
                  out.pixels.data() + static_cast<std::size_t>(y) * out.bytesPerRow());
    return out;
}

void threshold(Image& gray) {
    for (auto& pixel : gray.pixels)
        pixel = pixel < 128 ? 0 : 255;
}

} // namespace ImageResample
