// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Image.h"
#include "Platform/PdfDocument.h"

#include <string>
#include <vector>

class TextRecognizer;

/// A rectangle of 64-bit floats: x, y of its bottom-left corner, then width and height.
struct Rect {
    double x = 0;
    double y = 0;
    double width = 0;
    double height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

/// One recognised line: the engine's best text, unchanged, and where the line lies in the
/// image, normalised to it (fractions of width and height, origin bottom-left, not clamped).
struct OCRLine {
    std::string text;
    Rect box;
    friend bool operator==(const OCRLine&, const OCRLine&) = default;
};

/// The lines of text an image shows. Stateless; the recogniser (expensive to create) is made
/// by the caller, one per worker thread, and passed in.
namespace OCREngine {

/// Lines in the engine's order: no sorting, merging or filtering of blank texts. Never fails:
/// a failure gives the empty list. `languages` are BCP 47 tags in priority order. The image
/// is recognised as it is (not scaled or cropped); its dotsPerInch, when known, tells the
/// engine the size of the print.
std::vector<OCRLine> recognize(const Image& image, const std::vector<std::string>& languages,
                               TextRecognizer& recognizer);

/// A recognised line with the engine's confidence in its text (0–100).
struct ScoredLine {
    OCRLine line;
    double confidence = 0;
};

/// recognize, with each line's confidence.
std::vector<ScoredLine> recognizeScored(const Image& image,
                                        const std::vector<std::string>& languages,
                                        TextRecognizer& recognizer);

/// A normalised rectangle in page units: x × W, y × H, width × W, height × H. No flipping,
/// clamping or rounding.
Rect pageRect(Rect normalized, PageSize pageSize);

} // namespace OCREngine
