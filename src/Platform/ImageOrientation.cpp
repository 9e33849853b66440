// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ImageCodec.h"

#include <array>
#include <cstring>
#include <new>

namespace ImageCodec {
namespace {

/// Where an upright pixel (x, y) comes from in the stored image: with `swapsAxes` the stored
/// column is y and the row x, otherwise the other way round; then either may be counted from
/// the far edge.
struct Placement {
    bool swapsAxes;
    bool flipsColumn;
    bool flipsRow;
};

// EXIF orientations 1–8 (TIFF 6.0 Orientation tag): which stored row and column a viewer
// shows at the top and left.
constexpr std::array<Placement, 8> kPlacements = {{
    {false, false, false}, // 1 as stored
    {false, true, false},  // 2 mirrored left to right
    {false, true, true},   // 3 turned 180°
    {false, false, true},  // 4 mirrored top to bottom
    {true, false, false},  // 5 transposed
    {true, false, true},   // 6 turned 90° clockwise
    {true, true, true},    // 7 transversed
    {true, true, false},   // 8 turned 90° anticlockwise
}};

bool isWellFormed(const Image& image) {
    return image.widthPixels > 0 && image.heightPixels > 0 && image.channels > 0 &&
           image.pixels.size() == image.byteCount() && image.exifOrientation >= 1 &&
           image.exifOrientation <= 8;
}

Image turned(const Image& image) {
    const Placement placement = kPlacements[static_cast<std::size_t>(image.exifOrientation - 1)];
    Image upright;
    upright.widthPixels = placement.swapsAxes ? image.heightPixels : image.widthPixels;
    upright.heightPixels = placement.swapsAxes ? image.widthPixels : image.heightPixels;
    upright.channels = image.channels;
    upright.dotsPerInch = image.dotsPerInch;
    upright.pixels.resize(upright.byteCount());
    const auto pixelBytes = static_cast<std::size_t>(image.channels);
    std::uint8_t* target = upright.pixels.data();
    for (int y = 0; y < upright.heightPixels; ++y) {
        for (int x = 0; x < upright.widthPixels; ++x, target += pixelBytes) {
            int column = placement.swapsAxes ? y : x;
            int row = placement.swapsAxes ? x : y;
            if (placement.flipsColumn)
                column = image.widthPixels - 1 - column;
            if (placement.flipsRow)
                row = image.heightPixels - 1 - row;
            const std::size_t offset = static_cast<std::size_t>(row) * image.bytesPerRow() +
                                       static_cast<std::size_t>(column) * pixelBytes;
            std::memcpy(target, image.pixels.data() + offset, pixelBytes);
        }
    }
    return upright;
}

int quarterTurnOrientation(int clockwiseDegrees) {
    switch (clockwiseDegrees) {
    case 90:
        return 6;
    case 180:
        return 3;
    case 270:
        return 8;
    default:
        return 1;
    }
}

// A 3 × 2 picture whose pixels all differ: each of the eight orientations shows it differently.
Image probe(int exifOrientation) {
    return {3, 2, 1, exifOrientation, {0, 1, 2, 3, 4, 5}};
}

} // namespace

int turnedOrientation(int exifOrientation, int clockwiseDegrees) {
    const int shown = exifOrientation >= 1 && exifOrientation <= 8 ? exifOrientation : 1;
    Image first = turned(probe(shown));
    first.exifOrientation = quarterTurnOrientation(clockwiseDegrees);
    const Image both = turned(first);
    for (int candidate = 1; candidate <= 8; ++candidate) {
        const Image shownByCandidate = turned(probe(candidate));
        if (shownByCandidate.widthPixels == both.widthPixels &&
            shownByCandidate.pixels == both.pixels)
            return candidate;
    }
    return shown; // unreachable: the orientations form a group
}

std::optional<Image> turnedUpright(const Image& image) {
    if (!isWellFormed(image))
        return std::nullopt;
    try {
        return image.exifOrientation == 1 ? image : turned(image);
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace ImageCodec
