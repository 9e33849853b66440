// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/PackedImage.h"

#include <zlib.h>

namespace {

// Level 1: rendered pages are mostly flat areas, which the fastest level already shrinks
// tenfold or more; higher levels cost several times the time for a few percent.
constexpr int kLevel = 1;

} // namespace

std::optional<PackedImage> pack(const Image& image) {
    PackedImage packed{
        image.widthPixels, image.heightPixels, image.channels, image.exifOrientation, {}};
    uLongf length = compressBound(static_cast<uLong>(image.pixels.size()));
    try {
        packed.deflated.resize(length);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (compress2(packed.deflated.data(), &length, image.pixels.data(),
                  static_cast<uLong>(image.pixels.size()), kLevel) != Z_OK)
        return std::nullopt;
    packed.deflated.resize(length);
    packed.deflated.shrink_to_fit();
    return packed;
}

std::optional<Image> unpack(const PackedImage& packed) {
    Image image;
    image.widthPixels = packed.widthPixels;
    image.heightPixels = packed.heightPixels;
    image.channels = packed.channels;
    image.exifOrientation = packed.exifOrientation;
    uLongf length = static_cast<uLongf>(image.byteCount());
    try {
        image.pixels.resize(length);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
    if (uncompress(image.pixels.data(), &length, packed.deflated.data(),
                   static_cast<uLong>(packed.deflated.size())) != Z_OK ||
        length != image.pixels.size())
        return std::nullopt;
    return image;
}
