// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ImageCodec.h"

namespace ImageCodec {

void reduceToGrayIfNeutral(Image& image) {
    if (image.channels != 3 || image.pixels.size() != image.byteCount())
        return;
    const std::size_t count = image.pixels.size() / 3;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* pixel = &image.pixels[i * 3];
        if (pixel[0] != pixel[1] || pixel[1] != pixel[2])
            return;
    }
    for (std::size_t i = 0; i < count; ++i)
        image.pixels[i] = image.pixels[i * 3];
    image.pixels.resize(count);
    image.pixels.shrink_to_fit();
    image.channels = 1;
}

} // namespace ImageCodec
