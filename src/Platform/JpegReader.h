// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"

#include <cstdint>
#include <optional>
#include <span>

/// Reads the pixels a JPEG stores, as a PDF reader shows a /DCTDecode image: gray for one
/// component, RGB for three (YCbCr converted as the file's markers say), no colour management
/// and no EXIF turn. Thread-safe; silent. Absent for other component counts, more than
/// ImageCodec::kMaxPixels, and any file libjpeg refuses or warns about (corrupt data), so that
/// a damaged image is never taken for a whole one.
std::optional<Image> readJpegPixels(std::span<const std::uint8_t> jpeg);
