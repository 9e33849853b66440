// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"

#include <optional>

/// An Image kept losslessly compressed (zlib), for holding many page bitmaps at once without
/// holding their raw pixels. unpack(pack(image)) gives the same image, byte for byte.
/// Both functions are safe to call from several threads at once.
struct PackedImage {
    int widthPixels = 0;
    int heightPixels = 0;
    int channels = 0;
    int exifOrientation = 1;
    Bytes deflated;
};

/// Absent only when compression fails (out of memory).
std::optional<PackedImage> pack(const Image& image);
std::optional<Image> unpack(const PackedImage& packed);
