// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"

#include <optional>

/// Reducing a bitmap's pixel count for re-encoding. Pure functions, safe on any thread.
namespace ImageResample {

/// The image scaled down to widthPixels × heightPixels by area averaging: each output pixel
/// is the mean of the source area it covers, fractional edge pixels weighted by their share.
/// Any channel count. A size not smaller than the source on an axis keeps that axis as it is
/// (never enlarges). Absent for a malformed image or a size below 1.
std::optional<Image> reduced(const Image& image, int widthPixels, int heightPixels);

/// A gray image whose pixels are all 0 or 255: every pixel below 128 becomes 0, the others 255.
void threshold(Image& gray);

} // namespace ImageResample
