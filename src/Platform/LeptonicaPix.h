// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"

#include <leptonica/allheaders.h>
#include <memory>
#include <optional>

/// Leptonica's bitmaps for the Platform files that use it (Leptonica comes with Tesseract).
/// Thread-safe: nothing is shared between calls. Nothing throws beyond std::bad_alloc.
namespace LeptonicaPix {

struct Deleter {
    void operator()(PIX* pix) const { pixDestroy(&pix); }
};
using PixPtr = std::unique_ptr<PIX, Deleter>;

/// Sends Leptonica's messages nowhere (by default they go to stderr). Process-wide; cheap to
/// call again.
void quiet();

/// An 8-bit gray or 32-bit RGB Pix holding the image's pixels; null for a malformed image or
/// when Leptonica cannot allocate it.
PixPtr fromImage(const Image& image);

/// The pixels of an 8-bit gray or 32-bit RGB Pix; absent for other depths.
std::optional<Image> toImage(PIX* pix);

} // namespace LeptonicaPix
