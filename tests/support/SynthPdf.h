// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

#include <string>
#include <vector>

/// PDFs that tests make for themselves.
namespace SynthPdf {

struct Page {
    double widthPoints = 612;
    double heightPoints = 792;
    int rotateDegrees = 0;
};

/// One photo-like JPEG (at `jpegQuality`) filling each page: a scan-like PDF that shrinks
/// well when rebuilt at a lower quality. Throws std::runtime_error on failure (tests only).
Bytes photoPages(const std::vector<Page>& pages, double jpegQuality = 0.95, unsigned seed = 1);

/// Pages of plain Helvetica text lines, uncompressed: a born-digital PDF that a raster
/// rebuild can only make larger.
Bytes textPages(int pageCount, const std::string& line = "The quick brown fox jumps over it.");

/// `plain` encrypted (AES-256) with these passwords; an empty user password opens it.
Bytes encrypted(const Bytes& plain, const char* userPassword, const char* ownerPassword);

/// A well-formed PDF without pages, at least `bytes` long (its document information padded).
Bytes withoutPages(std::size_t bytes);

} // namespace SynthPdf
