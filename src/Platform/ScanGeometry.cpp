// SPDX-License-Identifier: GPL-3.0-or-later
//
// pixFindSkew and pixDeskew sweep only about ±7° and report 0 beyond, so the slope is searched
// with pixFindSkewSweepAndSearch over a wider range. Its confidence (the best angle's score over
// the worst's) separates pages of long text lines (5–50 on the scans measured) from pages whose
// lines run vertically or that hold no text (below 2.5), so a slope is believed from 3 up, as
// pixDeskew does. Short lines score lower (1.5–2 for a column of three-word lines, its angle
// still right to 0.1°): on a page the ascender test finds upright, whose lines therefore run
// across, a lower confidence is enough.

#include "Platform/ScanGeometry.h"

#include "Platform/LeptonicaPix.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <numbers>

namespace ScanGeometry {
namespace {

using LeptonicaPix::PixPtr;

constexpr float kMinSkewConfidence = 3.0f;
constexpr float kMinSkewConfidenceUpright = 1.4f;
constexpr float kSweepStepDegrees = 1.0f;
constexpr float kSearchPrecisionDegrees = 0.01f;

bool wellFormed(const Image& image) {
    return image.widthPixels > 0 && image.heightPixels > 0 &&
           (image.channels == 1 || image.channels == 3) && image.pixels.size() == image.byteCount();
}

std::uint8_t grayAt(const Image& image, std::size_t offset) {
    if (image.channels == 1)
        return image.pixels[offset];
    const std::uint8_t* rgb = &image.pixels[offset * 3];
    return static_cast<std::uint8_t>((77 * rgb[0] + 150 * rgb[1] + 29 * rgb[2] + 128) >> 8);
}

Image reducedGray(const Image& image, int factor) {
    Image gray;
    gray.widthPixels = std::max(1, image.widthPixels / factor);
    gray.heightPixels = std::max(1, image.heightPixels / factor);
    gray.channels = 1;
    gray.dotsPerInch = image.dotsPerInch / factor;
    gray.pixels.resize(gray.byteCount());
    const auto width = static_cast<std::size_t>(image.widthPixels);
    for (int y = 0; y < gray.heightPixels; ++y) {
        for (int x = 0; x < gray.widthPixels; ++x) {
            unsigned sum = 0;
            unsigned count = 0;
            for (int dy = 0; dy < factor && y * factor + dy < image.heightPixels; ++dy)
                for (int dx = 0; dx < factor && x * factor + dx < image.widthPixels; ++dx, ++count)
                    sum += grayAt(image, static_cast<std::size_t>(y * factor + dy) * width +
                                             static_cast<std::size_t>(x * factor + dx));
            gray.pixels[static_cast<std::size_t>(y) * gray.bytesPerRow() +
                        static_cast<std::size_t>(x)] =
                static_cast<std::uint8_t>((sum + count / 2) / count);
        }
    }
    return gray;
}

PixPtr binarised(const Image& gray) {
    const PixPtr pix = LeptonicaPix::fromImage(gray);
    if (!pix)
        return nullptr;
    PIX* binary = nullptr;
    // One tile over the whole picture: a global Otsu threshold.
    if (pixOtsuAdaptiveThreshold(pix.get(), gray.widthPixels, gray.heightPixels, 0, 0, 0.1f,
                                 nullptr, &binary) != 0)
        return nullptr;
    return PixPtr(binary);
}

double skewOf(PIX* binary, bool upright) {
    const int longSide = std::max(pixGetWidth(binary), pixGetHeight(binary));
    // Coarser sweeps on large pictures, as pixFindSkew does; small ones keep every pixel.
    const int sweepReduction = longSide >= 2000 ? 4 : longSide >= 1000 ? 2 : 1;
    const int searchReduction = std::max(1, sweepReduction / 2);
    l_float32 angle = 0;
    l_float32 confidence = 0;
    if (pixFindSkewSweepAndSearch(binary, &angle, &confidence, sweepReduction, searchReduction,
                                  static_cast<float>(kSkewSearchDegrees), kSweepStepDegrees,
                                  kSearchPrecisionDegrees) != 0 ||
        !(confidence >= (upright ? kMinSkewConfidenceUpright : kMinSkewConfidence)) ||
        !std::isfinite(angle))
        return 0;
    return angle;
}

bool surelyUpright(PIX* binary) {
    l_float32 upConfidence = 0;
    l_float32 leftConfidence = 0;
    l_int32 orientation = L_TEXT_ORIENT_UNKNOWN;
    // Leptonica's default thresholds: a clear majority of ascenders over descenders, and
    // far more evidence for up/down than for left/right.
    return pixOrientDetect(binary, &upConfidence, &leftConfidence, 0, 0) == 0 &&
           makeOrientDecision(upConfidence, leftConfidence, 0, 0, &orientation, 0) == 0 &&
           orientation == L_TEXT_ORIENT_UP;
}

int evenCanvasSide(int side, double needed) {
    int canvas = std::max(side, static_cast<int>(std::ceil(needed)));
    return (canvas - side) % 2 == 0 ? canvas : canvas + 1;
}

std::optional<Image> turnedOnCanvas(const Image& image, double degrees) {
    const double radians = degrees * std::numbers::pi / 180;
    const double cosine = std::abs(std::cos(radians));
    const double sine = std::abs(std::sin(radians));
    const int width =
        evenCanvasSide(image.widthPixels, image.widthPixels * cosine + image.heightPixels * sine);
    const int height =
        evenCanvasSide(image.heightPixels, image.widthPixels * sine + image.heightPixels * cosine);
    const PixPtr pix = LeptonicaPix::fromImage(image);
    if (!pix)
        return std::nullopt;
    const l_uint32 white = image.channels == 1 ? 255 : 0xffffff00;
    const int left = (width - image.widthPixels) / 2;
    const int top = (height - image.heightPixels) / 2;
    const PixPtr canvas(pixAddBorderGeneral(pix.get(), left, left, top, top, white));
    // Leptonica turns clockwise for positive angles, about the picture's centre.
    const PixPtr rotated(canvas ? pixRotate(canvas.get(), static_cast<float>(-radians),
                                            L_ROTATE_AREA_MAP, L_BRING_IN_WHITE, 0, 0)
                                : nullptr);
    auto result = LeptonicaPix::toImage(rotated.get());
    if (result)
        result->dotsPerInch = image.dotsPerInch;
    return result;
}

} // namespace

std::optional<Image> analysisCopy(const Image& image) {
    if (!wellFormed(image))
        return std::nullopt;
    const int longSide = std::max(image.widthPixels, image.heightPixels);
    const int factor = (longSide + kAnalysisSide - 1) / kAnalysisSide;
    try {
        return reducedGray(image, factor);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

Layout layout(const Image& gray) {
    if (!wellFormed(gray) || gray.channels != 1)
        return {};
    LeptonicaPix::quiet();
    const PixPtr binary = binarised(gray);
    if (!binary)
        return {};
    const bool upright = surelyUpright(binary.get());
    return {upright, skewOf(binary.get(), upright)};
}

std::optional<Image> turned(const Image& image, double degrees) {
    if (!wellFormed(image) || !std::isfinite(degrees) || std::abs(degrees) > 45)
        return std::nullopt;
    LeptonicaPix::quiet();
    try {
        return turnedOnCanvas(image, degrees);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace ScanGeometry
