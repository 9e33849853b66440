// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"
#include "Platform/PdfWriter.h"

#include <optional>

/// Lossless encodings of a bitmap as a PDF image stream (see PdfWriter::losslessImage).
/// Stateless and safe to call from several threads at once. Never throws (beyond
/// std::bad_alloc); nothing is printed.
namespace PdfImageEncoding {

/// zlib's level for image data, chosen by measurement on scans (see the .cpp).
inline constexpr int kDeflateLevel = 6;

/// The image's pixels packed one bit each, most significant bit first, rows padded to a
/// byte; 1 for white (255) and 0 for black, as PDF's DeviceGray reads them. The image must be
/// gray and bilevel.
Bytes packBilevel(const Image& gray);

/// Flate with PNG predictors (the per-row filter chosen by the smallest sum of absolute
/// differences), 8-bit gray or RGB as the image's channels say, at zlib's `level` (1–9).
/// Absent if zlib fails.
std::optional<PdfImageData> flate(const Image& image, int level = kDeflateLevel);

/// A bilevel gray image as CCITT G4 (Leptonica's encoder). Absent if Leptonica fails.
std::optional<PdfImageData> g4(const Image& gray);

/// A bilevel gray image as CCITT G4 (Leptonica's encoder) or 1-bit Flate, whichever is
/// smaller. Absent if both fail.
std::optional<PdfImageData> bilevel(const Image& gray);

/// The best lossless form: an RGB image whose pixels are all gray is stored as gray, a gray
/// image whose pixels are all 0 or 255 as bilevel. Absent for an empty or malformed image.
std::optional<PdfImageData> lossless(const Image& image);

} // namespace PdfImageEncoding
