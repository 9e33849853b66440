// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/ImageCodec.h"

#include "Platform/AddressSpace.h"
#include "Platform/JpegEncoder.h"
#include "Platform/JpegSupport.h"
#include "Platform/VipsLoader.h"

#include <cmath>
#include <cstring>
#include <new>

namespace ImageCodec {
namespace {

using vips::VImage;

bool isGray(const VImage& image) {
    return image.bands() <= 2;
}

bool isCmyk(const VImage& image) {
    return image.interpretation() == VIPS_INTERPRETATION_CMYK && image.bands() >= 4;
}

// JPEG has no alpha: blend onto white, in the source's own encoding (white is "no ink" in CMYK).
VImage flattenOntoWhite(const VImage& image) {
    const bool sixteenBit = image.format() == VIPS_FORMAT_USHORT;
    const double maxAlpha = sixteenBit ? 65535.0 : 255.0;
    const double white = isCmyk(image) ? 0.0 : maxAlpha;
    return image.flatten(VImage::option()
                             ->set("background", std::vector<double>{white})
                             ->set("max_alpha", maxAlpha));
}

std::optional<VImage> applyProfile(const VImage& image, const char* inputProfile) {
    try {
        auto* options = VImage::option()->set("depth", 8);
        if (inputProfile)
            options->set("input_profile", inputProfile);
        else
            options->set("embedded", true);
        VImage srgb = image.icc_transform("srgb", options);
        return isGray(image) ? srgb.colourspace(VIPS_INTERPRETATION_B_W) : srgb;
    } catch (const vips::VError&) {
        // An unreadable or mismatched profile: fall back to the plain conversion.
        vips_error_clear();
        return std::nullopt;
    }
}

VImage toSrgbOrGray(const VImage& image) {
    const bool hasProfile = image.get_typeof(VIPS_META_ICC_NAME) != 0;
    if (hasProfile || isCmyk(image)) {
        if (auto converted = applyProfile(image, hasProfile ? nullptr : "cmyk"))
            return *converted;
    }
    if (isCmyk(image))
        return image.colourspace(VIPS_INTERPRETATION_sRGB);
    return image.colourspace(isGray(image) ? VIPS_INTERPRETATION_B_W : VIPS_INTERPRETATION_sRGB);
}

VImage normalise(VImage image) {
    if (image.has_alpha())
        image = flattenOntoWhite(image);
    image = toSrgbOrGray(image);
    if (image.format() != VIPS_FORMAT_UCHAR)
        image = image.cast(VIPS_FORMAT_UCHAR);
    if (image.bands() == 2)
        image = image.extract_band(0);
    else if (image.bands() > 3)
        image = image.extract_band(0, VImage::option()->set("n", 3));
    return image;
}

int orientationOf(const VImage& image) {
    if (image.get_typeof(VIPS_META_ORIENTATION) == 0)
        return 1;
    const int orientation = image.get_int(VIPS_META_ORIENTATION);
    return orientation >= 1 && orientation <= 8 ? orientation : 1;
}

// libvips reports a file without a resolution as 72 dpi (PNG, JFIF without units) or as one
// pixel per millimetre (TIFF), and cameras write 72 dpi as a placeholder: none of these tells
// how large the print is, so only a resolution above 72 dpi counts as declared.
double declaredDotsPerInch(const VImage& image) {
    const double dotsPerInch = std::round(image.xres() * 25.4 * 100) / 100;
    return std::isfinite(dotsPerInch) && dotsPerInch > 72.5 ? dotsPerInch : 0.0;
}

// Strips arrive top to bottom, one at a time, in full width.
int copyStrip(VipsRegion* region, VipsRect* area, void* target) {
    auto* image = static_cast<Image*>(target);
    const std::size_t rowBytes = image->bytesPerRow();
    for (int y = area->top; y < area->top + area->height; ++y) {
        const auto* source = VIPS_REGION_ADDR(region, area->left, y);
        std::memcpy(image->pixels.data() + static_cast<std::size_t>(y) * rowBytes, source,
                    rowBytes);
    }
    return 0;
}

std::optional<Image> decodeOpened(const VImage& opened) {
    const auto pixels = static_cast<std::int64_t>(opened.width()) * opened.height();
    if (pixels <= 0 || pixels > kMaxPixels)
        return std::nullopt;
    const VImage normalised = normalise(opened);
    Image image;
    image.widthPixels = normalised.width();
    image.heightPixels = normalised.height();
    image.channels = normalised.bands();
    image.exifOrientation = orientationOf(opened);
    image.dotsPerInch = declaredDotsPerInch(opened);
    image.pixels.resize(image.byteCount());
    if (vips_sink_disc(normalised.get_image(), copyStrip, &image) != 0)
        return std::nullopt;
    return image;
}

template <typename Open> std::optional<Image> decodeWith(Open open) {
    if (!VipsLoader::start())
        return std::nullopt;
    std::optional<Image> result;
    try {
        if (const std::optional<VImage> opened = open())
            result = decodeOpened(*opened);
    } catch (const vips::VError&) {
        result.reset();
    } catch (const std::bad_alloc&) {
        AddressSpace::noteRefusedAllocation();
        result.reset();
    }
    if (!result && AddressSpace::saysOutOfMemory(vips_error_buffer()))
        AddressSpace::noteRefusedAllocation();
    vips_error_clear();
    return result;
}

} // namespace

std::optional<Image> decodeFile(const std::filesystem::path& path) {
    return decodeWith([&] { return VipsLoader::openFile(path); });
}

std::optional<Image> decodeBytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty())
        return std::nullopt;
    return decodeWith([&] { return VipsLoader::openBytes(bytes); });
}

int filePageCount(const std::filesystem::path& path) {
    return VipsLoader::filePageCount(path);
}

std::optional<Image> decodeFilePage(const std::filesystem::path& path, int pageIndex) {
    return decodeWith([&] { return VipsLoader::openFilePage(path, pageIndex); });
}

int bytesPageCount(std::span<const std::uint8_t> bytes) {
    return VipsLoader::bytesPageCount(bytes);
}

std::optional<Image> decodeBytesPage(std::span<const std::uint8_t> bytes, int pageIndex) {
    if (bytes.empty())
        return std::nullopt;
    return decodeWith([&] { return VipsLoader::openBytesPage(bytes, pageIndex); });
}

std::optional<Bytes> encodeJpeg(const Image& image, double quality, CmykMarking marking) {
    return JpegEncoder(image, marking).encode(quality);
}

namespace {

// Only trivially destructible locals between setjmp and the end of libjpeg use.
bool readHeader(jpeg_decompress_struct& cinfo, JpegSupport::ErrorManager& errors,
                std::span<const std::uint8_t> jpeg, JpegInfo& info) {
    if (setjmp(errors.jumpBack) != 0)
        return false;
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    if (jpeg_read_header(&cinfo, TRUE) != JPEG_HEADER_OK)
        return false;
    info.widthPixels = static_cast<int>(cinfo.image_width);
    info.heightPixels = static_cast<int>(cinfo.image_height);
    info.components = cinfo.num_components;
    info.adobeInverted = cinfo.saw_Adobe_marker && cinfo.num_components == 4;
    return true;
}

} // namespace

std::optional<JpegInfo> readJpegInfo(std::span<const std::uint8_t> jpeg) {
    if (jpeg.empty())
        return std::nullopt;
    JpegSupport::ErrorManager errors;
    jpeg_decompress_struct cinfo{};
    cinfo.err = JpegSupport::installErrorManager(errors);
    JpegInfo info;
    const bool read = readHeader(cinfo, errors, jpeg, info);
    jpeg_destroy_decompress(&cinfo);
    if (!read)
        return std::nullopt;
    return info;
}

} // namespace ImageCodec
