// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"

#include <cstdint>
#include <optional>
#include <span>

/// What the header of a JPEG 2000 image (a JP2 file or a bare codestream) says.
struct JpxLayout {
    int widthPixels = 0;
    int heightPixels = 0;
    int components = 0;
    /// Its colour is plain gray or sRGB as stored (or unstated): no profile and no colour space
    /// a reader would have to convert from.
    bool plainColour = false;
};

/// Reads a JPEG 2000 header without decoding the image. Thread-safe; silent. Absent when the
/// header cannot be read.
std::optional<JpxLayout> readJpxLayout(std::span<const std::uint8_t> jpx);

/// Reads the pixels a JPEG 2000 image stores, as a PDF reader shows a /JPXDecode image whose
/// dictionary gives the colour space: every component scaled to 8 bits, gray for one, RGB for
/// three, no colour management. Thread-safe; silent. Absent for other component counts, alpha
/// channels, signed or subsampled components, more than ImageCodec::kMaxPixels, a colour
/// space stored as YCC or CMYK, and any file OpenJPEG refuses or warns about (a truncated
/// codestream among them), so that a damaged image is never taken for a whole one.
std::optional<Image> readJpxPixels(std::span<const std::uint8_t> jpx);
