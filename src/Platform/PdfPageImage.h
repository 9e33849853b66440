// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Affine.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

struct PdfImageSource;

/// The one image a scanned PDF page paints, as that page places it, so that another PDF can
/// show the very same image stream (PdfDocument::scannedImage finds it, PdfWriter draws it).
/// Coordinates are the source page as a viewer shows it: points, origin at its bottom-left
/// corner, its /Rotate applied. A plain value; it keeps the source document's structure alive
/// (not its renderers) and may be used on one thread at a time with that document.
struct PdfPageImage {
    using Quad = std::array<Point, 4>;

    /// The fewer of the image's pixels per page point along its two axes (0 when its size is
    /// not declared or its placement is degenerate): how finely the page shows it.
    double pixelsPerPoint() const {
        const double across = std::hypot(placement.a, placement.b);
        const double down = std::hypot(placement.c, placement.d);
        if (!(across > 0) || !(down > 0) || widthPixels <= 0 || heightPixels <= 0)
            return 0;
        return std::min(widthPixels / across, heightPixels / down);
    }

    /// Maps the image's unit square onto the page.
    Affine placement;
    /// Rectangular clips in force where the image is painted, corners in page coordinates.
    std::vector<Quad> clips;
    /// The PDF operators that set the fill colour a stencil mask (/ImageMask) paints with, as
    /// the source wrote them ("0 0 1 rg"); empty for other images.
    std::string maskFill;
    /// The image's own size in pixels, as its dictionary declares it (0 when it does not).
    int widthPixels = 0;
    int heightPixels = 0;
    /// The image stream in its document; opaque outside the PDF platform files.
    std::shared_ptr<const PdfImageSource> source;
};
