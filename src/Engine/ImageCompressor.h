// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/SizeTarget.h"
#include "Platform/Bytes.h"
#include "Platform/Image.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

/// Re-encodes an image file as the highest-quality JPEG that fits a size target.
/// Stateless; every function is safe to call from several threads at once.
namespace ImageCompressor {

/// A complete JPEG of the image at a quality in [0, 1]; absent if the encoder fails.
std::optional<Bytes> jpegData(const Image& image, double quality);

struct Compression {
    Bytes jpeg;
    double quality = 0;
    int encodings = 0;
};

/// Decodes the first frame once and searches qualities 0.05 … 1.0 in 8 bisection steps. The
/// result fits the budget whenever quality 0.05 does; otherwise it is the JPEG at 0.05, larger
/// than the budget, for the caller to judge. Pixel dimensions are the first frame's.
/// `threads` (1 or 2) is how many probes may run at once; the result does not depend on it.
/// Absent when the file cannot be decoded or the final encoding fails.
std::optional<Compression> compressDetailed(const std::filesystem::path& imageAt, SizeTarget target,
                                            int threads = 2);

/// compressDetailed of a file already in memory (the same result as for that file on disk).
std::optional<Compression> compressDetailed(std::span<const std::uint8_t> file, SizeTarget target,
                                            int threads = 2);

/// compressDetailed's JPEG bytes.
std::optional<Bytes> compress(const std::filesystem::path& imageAt, SizeTarget target);

} // namespace ImageCompressor
