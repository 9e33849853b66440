// SPDX-License-Identifier: GPL-3.0-or-later
//
// Rows are filtered and deflated one at a time, so encoding needs no second copy of the
// bitmap. zlib's level 6 was chosen on scans and rendered scan pages: level 1 gave 8–114 %
// more bytes, level 9 0–14 % fewer at 3–7 times the CPU time. zlib's Z_FILTERED and Z_RLE
// strategies, tried on the same pages, came out larger on rendered pages (11 % and 35 %).

#include "Platform/PdfImageEncoding.h"

#include "Platform/G4Encoder.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <zlib.h>

namespace PdfImageEncoding {
namespace {

constexpr int kFilterCount = 5; // PNG's None, Sub, Up, Average, Paeth

class Deflater {
public:
    Deflater(std::size_t expectedBytes, int level) {
        m_ok = deflateInit(&m_stream, level) == Z_OK;
        m_out.reserve(expectedBytes / 4 + 1024);
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    bool add(const std::uint8_t* data, std::size_t size) { return run(data, size, Z_NO_FLUSH); }
    std::optional<Bytes> finish() {
        if (!run(nullptr, 0, Z_FINISH))
            return std::nullopt;
        return std::move(m_out);
    }

private:
    bool run(const std::uint8_t* data, std::size_t size, int flush) {
        if (!m_ok)
            return false;
        m_stream.next_in = const_cast<Bytef*>(data);
        m_stream.avail_in = static_cast<uInt>(size);
        std::array<std::uint8_t, 64 * 1024> chunk{};
        int status = Z_OK;
        do {
            m_stream.next_out = chunk.data();
            m_stream.avail_out = static_cast<uInt>(chunk.size());
            status = deflate(&m_stream, flush);
            if (status == Z_STREAM_ERROR)
                return m_ok = false;
            m_out.insert(m_out.end(), chunk.data(), m_stream.next_out);
        } while (m_stream.avail_out == 0 || (flush == Z_FINISH && status != Z_STREAM_END));
        return true;
    }

    z_stream m_stream{};
    bool m_ok = false;
    Bytes m_out;
};

int magnitude(std::uint8_t value) {
    return value < 128 ? value : 256 - value;
}

std::uint8_t paeth(int left, int up, int upLeft) {
    const int estimate = left + up - upLeft;
    const int toLeft = std::abs(estimate - left);
    const int toUp = std::abs(estimate - up);
    const int toUpLeft = std::abs(estimate - upLeft);
    if (toLeft <= toUp && toLeft <= toUpLeft)
        return static_cast<std::uint8_t>(left);
    return static_cast<std::uint8_t>(toUp <= toUpLeft ? up : upLeft);
}

// Fills `candidates` with the row under each of the five filters (each prefixed by its type
// byte) and returns the one with the smallest sum of absolute differences.
const std::uint8_t* filterRow(const std::uint8_t* row, const std::uint8_t* previous,
                              std::size_t rowBytes, std::size_t pixelBytes, Bytes& candidates) {
    std::array<long, kFilterCount> cost{};
    const std::size_t stride = rowBytes + 1;
    for (int f = 0; f < kFilterCount; ++f)
        candidates[static_cast<std::size_t>(f) * stride] = static_cast<std::uint8_t>(f);
    for (std::size_t i = 0; i < rowBytes; ++i) {
        const int x = row[i];
        const int left = i >= pixelBytes ? row[i - pixelBytes] : 0;
        const int up = previous ? previous[i] : 0;
        const int upLeft = previous && i >= pixelBytes ? previous[i - pixelBytes] : 0;
        const std::array<std::uint8_t, kFilterCount> filtered = {
            static_cast<std::uint8_t>(x), static_cast<std::uint8_t>(x - left),
            static_cast<std::uint8_t>(x - up), static_cast<std::uint8_t>(x - (left + up) / 2),
            static_cast<std::uint8_t>(x - paeth(left, up, upLeft))};
        for (std::size_t f = 0; f < kFilterCount; ++f) {
            candidates[f * stride + 1 + i] = filtered[f];
            cost[f] += magnitude(filtered[f]);
        }
    }
    const auto best =
        static_cast<std::size_t>(std::min_element(cost.begin(), cost.end()) - cost.begin());
    return candidates.data() + best * stride;
}

PdfImageData described(Bytes data, const Image& image, int bits, std::string filter,
                       std::string decodeParms) {
    PdfImageData result;
    result.data = std::move(data);
    result.filter = std::move(filter);
    result.widthPixels = image.widthPixels;
    result.heightPixels = image.heightPixels;
    result.components = image.channels;
    result.bitsPerComponent = bits;
    result.decodeParms = std::move(decodeParms);
    return result;
}

bool isWellFormed(const Image& image) {
    return image.widthPixels > 0 && image.heightPixels > 0 &&
           (image.channels == 1 || image.channels == 3) && image.pixels.size() == image.byteCount();
}

bool isAllGray(const Image& image) {
    const auto& p = image.pixels;
    for (std::size_t i = 0; i + 2 < p.size(); i += 3)
        if (p[i] != p[i + 1] || p[i] != p[i + 2])
            return false;
    return true;
}

Image grayOf(const Image& rgb) {
    Image gray{rgb.widthPixels, rgb.heightPixels, 1, rgb.exifOrientation, {}, rgb.dotsPerInch};
    gray.pixels.resize(gray.byteCount());
    for (std::size_t i = 0; i < gray.pixels.size(); ++i)
        gray.pixels[i] = rgb.pixels[3 * i];
    return gray;
}

bool isBilevel(const Image& gray) {
    return std::all_of(gray.pixels.begin(), gray.pixels.end(),
                       [](std::uint8_t v) { return v == 0 || v == 255; });
}

} // namespace

std::optional<PdfImageData> flate(const Image& image, int level) {
    const std::size_t rowBytes = image.bytesPerRow();
    const auto pixelBytes = static_cast<std::size_t>(image.channels);
    Deflater deflater(image.byteCount(), level);
    Bytes candidates(kFilterCount * (rowBytes + 1));
    const std::uint8_t* previous = nullptr;
    for (int y = 0; y < image.heightPixels; ++y) {
        const std::uint8_t* row = image.pixels.data() + static_cast<std::size_t>(y) * rowBytes;
        if (!deflater.add(filterRow(row, previous, rowBytes, pixelBytes, candidates), rowBytes + 1))
            return std::nullopt;
        previous = row;
    }
    auto data = deflater.finish();
    if (!data)
        return std::nullopt;
    const std::string parms = "<< /Predictor 15 /Colors " + std::to_string(image.channels) +
                              " /BitsPerComponent 8 /Columns " + std::to_string(image.widthPixels) +
                              " >>";
    return described(std::move(*data), image, 8, "/FlateDecode", parms);
}

Bytes packBilevel(const Image& gray) {
    const std::size_t rowBytes = (static_cast<std::size_t>(gray.widthPixels) + 7) / 8;
    Bytes packed(rowBytes * static_cast<std::size_t>(gray.heightPixels), 0);
    for (int y = 0; y < gray.heightPixels; ++y) {
        const std::uint8_t* row =
            gray.pixels.data() + static_cast<std::size_t>(y) * gray.bytesPerRow();
        std::uint8_t* out = packed.data() + static_cast<std::size_t>(y) * rowBytes;
        for (std::size_t x = 0; x < static_cast<std::size_t>(gray.widthPixels); ++x)
            if (row[x] != 0)
                out[x / 8] |= static_cast<std::uint8_t>(0x80u >> (x % 8));
    }
    return packed;
}

std::optional<PdfImageData> g4(const Image& gray) {
    auto coded = G4Encoder::encode(gray);
    if (!coded)
        return std::nullopt;
    const std::string parms = "<< /K -1 /Columns " + std::to_string(gray.widthPixels) + " /Rows " +
                              std::to_string(gray.heightPixels) +
                              (coded->blackIsOne ? " /BlackIs1 true >>" : " >>");
    return described(std::move(coded->data), gray, 1, "/CCITTFaxDecode", parms);
}

std::optional<PdfImageData> bilevel(const Image& gray) {
    std::optional<PdfImageData> best = g4(gray);
    // Dithered or halftoned pages can deflate smaller than G4 codes them.
    const Bytes packed = packBilevel(gray);
    Deflater deflater(packed.size(), kDeflateLevel);
    if (deflater.add(packed.data(), packed.size())) {
        auto data = deflater.finish();
        if (data && (!best || data->size() < best->data.size()))
            best = described(std::move(*data), gray, 1, "/FlateDecode", "");
    }
    return best;
}

std::optional<PdfImageData> lossless(const Image& image) {
    if (!isWellFormed(image))
        return std::nullopt;
    if (image.channels == 3 && isAllGray(image))
        return lossless(grayOf(image));
    if (image.channels == 1 && isBilevel(image))
        return bilevel(image);
    return flate(image);
}

} // namespace PdfImageEncoding
