// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"

#include <cstdint>
#include <optional>
#include <span>

/// How a four-component JPEG marks its ink. Readers disagree on Adobe's marker (some invert the
/// values it comes with), so a CMYK image is written again marked as it was read.
enum class CmykMarking {
    none,      // plain CMYK, no marker
    adobe,     // Adobe's marker, CMYK stored as is
    adobeYcck, // Adobe's marker, CMYK stored as YCCK
};

/// Reads the pixels a JPEG stores, as a PDF reader shows a /DCTDecode image: gray for one
/// component, RGB for three (YCbCr converted as the file's markers say), CMYK ink values for
/// four (YCCK converted, never inverted; `marking`, when given, says how they were marked), no
/// colour management and no EXIF turn. Thread-safe; silent. Absent for other component
/// counts, more than ImageCodec::kMaxPixels, and any file libjpeg refuses or warns about
/// (corrupt data), so that a damaged image is never taken for a whole one.
std::optional<Image> readJpegPixels(std::span<const std::uint8_t> jpeg,
                                    CmykMarking* marking = nullptr);
