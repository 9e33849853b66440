// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/LeptonicaPix.h"

#include <cstdint>
#include <mutex>

namespace LeptonicaPix {

void quiet() {
    static std::once_flag once;
    std::call_once(once, [] { leptSetStderrHandler([](const char*) {}); });
}

PixPtr fromImage(const Image& image) {
    if (image.widthPixels <= 0 || image.heightPixels <= 0 ||
        (image.channels != 1 && image.channels != 3) || image.pixels.size() != image.byteCount())
        return nullptr;
    PixPtr pix(pixCreate(image.widthPixels, image.heightPixels, image.channels == 1 ? 8 : 32));
    if (!pix)
        return nullptr;
    const std::uint8_t* source = image.pixels.data();
    for (int y = 0; y < image.heightPixels; ++y) {
        l_uint32* line =
            pixGetData(pix.get()) + static_cast<std::ptrdiff_t>(y) * pixGetWpl(pix.get());
        for (int x = 0; x < image.widthPixels; ++x) {
            if (image.channels == 1) {
                SET_DATA_BYTE(line, x, *source++);
            } else {
                composeRGBPixel(source[0], source[1], source[2], line + x);
                source += 3;
            }
        }
    }
    return pix;
}

std::optional<Image> toImage(PIX* pix) {
    const int depth = pix ? pixGetDepth(pix) : 0;
    if (depth != 8 && depth != 32)
        return std::nullopt;
    Image image;
    image.widthPixels = pixGetWidth(pix);
    image.heightPixels = pixGetHeight(pix);
    image.channels = depth == 8 ? 1 : 3;
    image.pixels.resize(image.byteCount());
    std::uint8_t* target = image.pixels.data();
    for (int y = 0; y < image.heightPixels; ++y) {
        const l_uint32* line = pixGetData(pix) + static_cast<std::ptrdiff_t>(y) * pixGetWpl(pix);
        for (int x = 0; x < image.widthPixels; ++x) {
            if (depth == 8) {
                *target++ = static_cast<std::uint8_t>(GET_DATA_BYTE(line, x));
            } else {
                l_int32 red = 0, green = 0, blue = 0;
                extractRGBValues(line[x], &red, &green, &blue);
                *target++ = static_cast<std::uint8_t>(red);
                *target++ = static_cast<std::uint8_t>(green);
                *target++ = static_cast<std::uint8_t>(blue);
            }
        }
    }
    return image;
}

} // namespace LeptonicaPix
