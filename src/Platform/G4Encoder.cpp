// SPDX-License-Identifier: GPL-3.0-or-later
//
// Leptonica has no call that returns G4 code in memory without a temporary file, so the image
// is written as an in-memory TIFF and its single strip is taken out of it.

#include "Platform/G4Encoder.h"

#include "Platform/LeptonicaPix.h"

#include <cstdint>
#include <span>

namespace G4Encoder {
namespace {

constexpr int kTagCompression = 259;
constexpr int kTagPhotometric = 262;
constexpr int kTagFillOrder = 266;
constexpr int kTagStripOffsets = 273;
constexpr int kTagStripByteCounts = 279;
constexpr long kCompressionG4 = 4;

using LeptonicaPix::PixPtr;

PixPtr bilevelPix(const Image& gray) {
    PixPtr pix(pixCreate(gray.widthPixels, gray.heightPixels, 1));
    if (!pix)
        return nullptr;
    l_uint32* data = pixGetData(pix.get());
    const auto wordsPerLine = static_cast<std::size_t>(pixGetWpl(pix.get()));
    for (int y = 0; y < gray.heightPixels; ++y) {
        const std::uint8_t* row =
            gray.pixels.data() + static_cast<std::size_t>(y) * gray.bytesPerRow();
        l_uint32* line = data + static_cast<std::size_t>(y) * wordsPerLine;
        // Leptonica's 1 is black; pixel x is bit 31 − x % 32 of its word.
        for (std::size_t x = 0; x < static_cast<std::size_t>(gray.widthPixels); ++x)
            if (row[x] == 0)
                line[x / 32] |= 0x80000000u >> (x % 32);
    }
    return pix;
}

class TiffReader {
public:
    explicit TiffReader(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}

    bool valid() const {
        return m_bytes.size() >= 8 && (m_bytes[0] == 'I' || m_bytes[0] == 'M') &&
               m_bytes[1] == m_bytes[0] && u16(2) == 42;
    }
    // The value of a single-valued SHORT or LONG tag in the first directory, or -1.
    long tag(int wanted) const {
        const std::size_t directory = u32(4);
        const std::size_t count = u16(directory);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t entry = directory + 2 + 12 * i;
            if (u16(entry) != static_cast<std::uint32_t>(wanted))
                continue;
            if (u32(entry + 4) != 1)
                return -1;
            const auto type = u16(entry + 2);
            return type == 3 ? u16(entry + 8) : type == 4 ? static_cast<long>(u32(entry + 8)) : -1;
        }
        return -1;
    }
    std::span<const std::uint8_t> bytes() const { return m_bytes; }

private:
    std::uint32_t read(std::size_t at, int size) const {
        if (at + static_cast<std::size_t>(size) > m_bytes.size())
            return 0;
        std::uint32_t value = 0;
        for (int k = 0; k < size; ++k) {
            const std::size_t index = m_bytes[0] == 'I'
                                          ? at + static_cast<std::size_t>(size - 1 - k)
                                          : at + static_cast<std::size_t>(k);
            value = (value << 8) | m_bytes[index];
        }
        return value;
    }
    std::uint32_t u16(std::size_t at) const { return read(at, 2); }
    std::uint32_t u32(std::size_t at) const { return read(at, 4); }

    std::span<const std::uint8_t> m_bytes;
};

std::optional<Coded> strip(const TiffReader& tiff) {
    if (!tiff.valid() || tiff.tag(kTagCompression) != kCompressionG4 ||
        tiff.tag(kTagFillOrder) == 2)
        return std::nullopt;
    const long offset = tiff.tag(kTagStripOffsets);
    const long length = tiff.tag(kTagStripByteCounts);
    const long photometric = tiff.tag(kTagPhotometric);
    if (offset < 0 || length <= 0 || (photometric != 0 && photometric != 1) ||
        static_cast<std::size_t>(offset) + static_cast<std::size_t>(length) > tiff.bytes().size())
        return std::nullopt;
    const auto code =
        tiff.bytes().subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    // Photometric 1 (min-is-black) codes the pixels Leptonica calls black as white.
    return Coded{Bytes(code.begin(), code.end()), photometric == 1};
}

} // namespace

std::optional<Coded> encode(const Image& gray) {
    if (gray.channels != 1 || gray.widthPixels <= 0 || gray.heightPixels <= 0 ||
        gray.pixels.size() != gray.byteCount())
        return std::nullopt;
    const PixPtr pix = bilevelPix(gray);
    if (!pix)
        return std::nullopt;
    l_uint8* tiff = nullptr;
    size_t size = 0;
    if (pixWriteMemTiff(&tiff, &size, pix.get(), IFF_TIFF_G4) != 0 || !tiff) {
        lept_free(tiff);
        return std::nullopt;
    }
    auto coded = strip(TiffReader({tiff, size}));
    lept_free(tiff);
    return coded;
}

} // namespace G4Encoder
