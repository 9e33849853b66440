// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/JpegReader.h"

#include "Platform/ImageCodec.h"
#include "Platform/JpegSupport.h"

namespace {

// Only trivially destructible locals between setjmp and the end of libjpeg use; the image
// lives in the caller.
bool decode(jpeg_decompress_struct& cinfo, JpegSupport::ErrorManager& errors,
            std::span<const std::uint8_t> jpeg, Image& image, CmykMarking& marking) {
    if (setjmp(errors.jumpBack) != 0)
        return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK ||
        (cinfo.num_components != 1 && cinfo.num_components != 3 && cinfo.num_components != 4))
        return false;
    switch (cinfo.num_components) {
    case 1:
        cinfo.out_color_space = JCS_GRAYSCALE;
        break;
    case 3:
        cinfo.out_color_space = JCS_RGB;
        break;
    default:
        if (cinfo.jpeg_color_space != JCS_CMYK && cinfo.jpeg_color_space != JCS_YCCK)
            return false;
        cinfo.out_color_space = JCS_CMYK;
        marking = !cinfo.saw_Adobe_marker              ? CmykMarking::none
                  : cinfo.jpeg_color_space == JCS_YCCK ? CmykMarking::adobeYcck
                                                       : CmykMarking::adobe;
    }
    const auto pixels = static_cast<std::int64_t>(cinfo.image_width) * cinfo.image_height;
    if (pixels < 1 || pixels > ImageCodec::kMaxPixels)
        return false;
    jpeg_start_decompress(&cinfo);
    image.widthPixels = static_cast<int>(cinfo.output_width);
    image.heightPixels = static_cast<int>(cinfo.output_height);
    image.channels = cinfo.output_components;
    image.pixels.resize(image.byteCount());
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = image.pixels.data() + cinfo.output_scanline * image.bytesPerRow();
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    return cinfo.err->num_warnings == 0;
}

} // namespace

std::optional<Image> readJpegPixels(std::span<const std::uint8_t> jpeg, CmykMarking* marking) {
    if (jpeg.empty())
        return std::nullopt;
    JpegSupport::ErrorManager errors;
    jpeg_decompress_struct cinfo{};
    cinfo.err = JpegSupport::installErrorManager(errors);
    Image image;
    CmykMarking seen = CmykMarking::none;
    const bool read = decode(cinfo, errors, jpeg, image, seen);
    jpeg_destroy_decompress(&cinfo);
    if (!read)
        return std::nullopt;
    if (marking)
        *marking = seen;
    return image;
}
