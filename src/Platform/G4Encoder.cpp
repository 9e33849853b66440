// SPDX-License-Identifier: GPL-3.0-or-later
//
// Leptonica has no call that returns G4 code in memory without a temporary file, so the image
// is written as an in-memory TIFF and libtiff takes its single strip out of it.

#include "Platform/G4Encoder.h"

#include "Platform/LeptonicaPix.h"

#include <algorithm>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <span>
#include <tiffio.h>

namespace G4Encoder {
namespace {

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

// The TIFF Leptonica wrote, read by libtiff from memory.
struct MemoryFile {
    std::span<const std::uint8_t> bytes;
    std::uint64_t position = 0;
};

MemoryFile& memoryFile(thandle_t handle) {
    return *static_cast<MemoryFile*>(handle);
}

tmsize_t readMemory(thandle_t handle, void* buffer, tmsize_t size) {
    MemoryFile& file = memoryFile(handle);
    if (size <= 0 || file.position >= file.bytes.size())
        return 0;
    const auto count =
        std::min(static_cast<std::uint64_t>(size), file.bytes.size() - file.position);
    std::memcpy(buffer, file.bytes.data() + file.position, count);
    file.position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t writeNothing(thandle_t, void*, tmsize_t) {
    return -1;
}

// Offsets are unsigned: a step back from the current position arrives wrapped around.
toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    MemoryFile& file = memoryFile(handle);
    const std::uint64_t base = whence == SEEK_CUR   ? file.position
                               : whence == SEEK_END ? file.bytes.size()
                                                    : 0;
    file.position = base + offset;
    return file.position;
}

int closeNothing(thandle_t) {
    return 0;
}

toff_t memorySize(thandle_t handle) {
    return memoryFile(handle).bytes.size();
}

int mapNothing(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapNothing(thandle_t, void*, toff_t) {}

// Handled (and so neither printed nor passed to a process-wide handler).
int quiet(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

using TiffPtr = std::unique_ptr<TIFF, decltype(&TIFFClose)>;

TiffPtr openMemory(MemoryFile& file) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options)
        return {nullptr, &TIFFClose};
    TIFFOpenOptionsSetErrorHandlerExtR(options, quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, quiet, nullptr);
    TIFF* tiff = TIFFClientOpenExt("G4", "r", &file, readMemory, writeNothing, seekMemory,
                                   closeNothing, memorySize, mapNothing, unmapNothing, options);
    TIFFOpenOptionsFree(options);
    return {tiff, &TIFFClose};
}

// The first directory's one G4 strip, in the bit order PDF expects.
std::optional<Coded> strip(std::span<const std::uint8_t> bytes) {
    MemoryFile file{bytes};
    const TiffPtr tiff = openMemory(file);
    std::uint16_t compression = 0, photometric = 0, fillOrder = FILLORDER_MSB2LSB;
    if (!tiff || TIFFGetField(tiff.get(), TIFFTAG_COMPRESSION, &compression) != 1 ||
        compression != COMPRESSION_CCITTFAX4 ||
        TIFFGetField(tiff.get(), TIFFTAG_PHOTOMETRIC, &photometric) != 1 ||
        (photometric != PHOTOMETRIC_MINISWHITE && photometric != PHOTOMETRIC_MINISBLACK) ||
        (TIFFGetField(tiff.get(), TIFFTAG_FILLORDER, &fillOrder) == 1 &&
         fillOrder == FILLORDER_LSB2MSB) ||
        TIFFNumberOfStrips(tiff.get()) != 1)
        return std::nullopt;
    const tmsize_t length = TIFFRawStripSize(tiff.get(), 0);
    if (length <= 0)
        return std::nullopt;
    Bytes code(static_cast<std::size_t>(length));
    if (TIFFReadRawStrip(tiff.get(), 0, code.data(), length) != length)
        return std::nullopt;
    // Min-is-black codes the pixels Leptonica calls black as white.
    return Coded{std::move(code), photometric == PHOTOMETRIC_MINISBLACK};
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
    auto coded = strip({tiff, size});
    lept_free(tiff);
    return coded;
}

} // namespace G4Encoder
