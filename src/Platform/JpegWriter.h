// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to JpegEncoder: one JPEG encode with libjpeg-turbo.
#include "Platform/Bytes.h"
#include "Platform/Image.h"
#include "Platform/JpegReader.h"

#include <optional>

/// True when libjpeg can write the image: 1, 3 or 4 (CMYK) channels, sides 1..65500, pixels
/// sized to match.
bool isJpegEncodable(const Image& image);

/// A complete JPEG of an encodable image at `quality` in [0, 1] (clamped; NaN counts as 0), with
/// a minimal EXIF orientation block when image.exifOrientation is 2–8. Thread-safe: each call
/// has its own libjpeg object. A CMYK image is marked as `marking` says. Absent when libjpeg
/// fails (out of memory).
std::optional<Bytes> writeJpeg(const Image& image, double quality,
                               CmykMarking marking = CmykMarking::none);
