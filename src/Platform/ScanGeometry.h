// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"

#include <optional>

/// How the text of a scanned picture lies (Leptonica): whether it is surely upright, and the
/// slope of its lines; and the picture turned by an angle, to read skewed lines straight.
///
/// Stateless and safe to call from several threads at once. Nothing throws and nothing is
/// printed; failures are absent results or an empty layout.
namespace ScanGeometry {

/// The longest side of the copy the layout is measured on, in pixels: enough for text of
/// ordinary size to keep its shape, small enough to measure in tens of milliseconds.
inline constexpr int kAnalysisSide = 2400;

/// The picture as 8-bit gray, reduced by the smallest whole factor that brings its longer side
/// to at most kAnalysisSide (averaging the pixels it merges); dotsPerInch is divided by the
/// same factor. Absent for a malformed image.
std::optional<Image> analysisCopy(const Image& image);

struct Layout {
    /// Leptonica's up/down and left/right text test is sure the lines read upright. It counts
    /// ascenders and descenders of Latin text; false says nothing (no text, unsure, turned).
    bool surelyUpright = false;
    /// The lines rise to the right by this angle, anticlockwise as seen; 0 when no slope was
    /// found with confidence. Searched over ±kSkewSearchDegrees.
    double skewDegrees = 0;
};

/// The widest slope looked for, in degrees either way.
inline constexpr double kSkewSearchDegrees = 12;

/// The layout of a gray picture (analysisCopy's result), binarised with Otsu's threshold.
Layout layout(const Image& gray);

/// The picture turned anticlockwise by `degrees` about its centre onto a canvas just large
/// enough to hold all of it, white where the picture does not reach; the canvas has the same
/// centre, its sides exceed the picture's by an even number of pixels, and pixels are
/// interpolated (area mapping). dotsPerInch is kept. Absent for a malformed image, an angle
/// that is not finite or beyond ±45°, or when memory runs out.
std::optional<Image> turned(const Image& image, double degrees);

} // namespace ScanGeometry
