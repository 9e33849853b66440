// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/OCREngine.h"
#include "Platform/Affine.h"
#include "Platform/Image.h"
#include "Platform/PdfDocument.h"

#include <string>
#include <vector>

class TextRecognizer;

/// Where the lines of a page were read: a copy of the upright page turned clockwise by
/// `slopeDegrees` about the centre both share, so that lines sloping by that angle ran
/// straight in it. Without a slope the copy is the page itself.
struct TextFrame {
    PageSize readSize;       // the copy the lines' boxes are normalised to, one point per pixel
    double slopeDegrees = 0; // how the lines rise on the page, anticlockwise

    /// Maps the copy (points, origin bottom-left) onto the upright page of `pageSize`.
    Affine toPage(PageSize pageSize) const;
    bool isPage(PageSize pageSize) const;
};

/// A page picture read upright and straight.
struct PageReading {
    int turnDegrees = 0; // the clockwise quarter turn that shows the picture upright
    Image upright;       // the picture so turned (its pixels otherwise as given)
    std::vector<OCRLine> lines;
    TextFrame frame;
};

/// Reads a page whichever way up its text runs and however its lines slope (up to about ±10°),
/// through the recogniser's contract: each recognition sees a picture whose lines run
/// upright and straight, and its boxes stay normalised to that picture.
///
/// Which way up: Leptonica's quick test of ascenders and descenders first (a page it is sure
/// of needs nothing more); else Tesseract's orientation detection on a reduced copy; where
/// that is unsure, the quarter turns in the order of its evidence, each recognised, until one
/// reads clearly, else the one with the most legible text. A page without text to tell by,
/// or where no turn reads, is left as it is. Slopes of at least kAlwaysStraightenedDegrees are
/// read on a straightened copy, smaller ones below kLeastStraightenedDegrees as they are
/// (Tesseract follows them by itself); in between both are read and the reading with more
/// legible text kept.
///
/// Stateless; thread-safe as long as each thread uses its own recogniser. Nothing throws
/// beyond std::bad_alloc.
namespace PageReader {

inline constexpr double kLeastStraightenedDegrees = 1.0;
inline constexpr double kAlwaysStraightenedDegrees = 2.0;

PageReading read(Image picture, const std::vector<std::string>& languages,
                 TextRecognizer& recognizer);

} // namespace PageReader
