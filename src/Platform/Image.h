// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

#include <cstddef>

/// A decoded bitmap: 8 bits per channel, sRGB (3 channels) or gray (1 channel).
/// Rows run top to bottom, each exactly widthPixels * channels bytes (no padding).
/// Pixels are as stored in the source; exifOrientation (1–8) is what the source said about how
/// a viewer should turn them, so that an encoder can carry it into its output.
struct Image {
    int widthPixels = 0;
    int heightPixels = 0;
    int channels = 0;
    int exifOrientation = 1;
    Bytes pixels;
    double dotsPerInch = 0; // the resolution the file declares; 0 when it declares none

    std::size_t bytesPerRow() const { return static_cast<std::size_t>(widthPixels) * channels; }
    std::size_t byteCount() const { return bytesPerRow() * static_cast<std::size_t>(heightPixels); }
};
