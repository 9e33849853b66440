// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"
#include "Platform/JpegReader.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>

/// Image decoding (libvips) and JPEG encoding (libjpeg-turbo).
///
/// Every function is safe to call from several threads at once. None throws; failures are
/// absent results. Nothing is printed: library messages are swallowed here.
namespace ImageCodec {

/// Images and rendered pages above this many pixels are refused as undecodable rather than
/// allowed to exhaust memory (a 150 MP RGB bitmap already needs 450 MB).
inline constexpr std::int64_t kMaxPixels = 150'000'000;

/// Decodes the first frame (page 0, one frame) of a PNG, JPEG, HEIC/HEIF, TIFF or GIF file.
/// Other formats, even ones libvips could read, are refused. The result is 8-bit sRGB, or
/// 8-bit gray for gray sources: embedded ICC profiles are applied, CMYK without a profile
/// uses a generic CMYK profile, 16-bit is reduced, alpha is flattened onto white. Pixels are
/// not rotated; the EXIF orientation is reported in Image::exifOrientation (HEIF transforms
/// are applied by the decoder, so such images report 1).
std::optional<Image> decodeFile(const std::filesystem::path& path);

/// How many pages decodeFilePage can read: every page of a multi-page TIFF, 1 for any other
/// image decodeFile accepts (GIF and HEIF count their first frame only), 0 when the file is
/// not such an image. Reads headers only.
int filePageCount(const std::filesystem::path& path);

/// One page of a file, decoded as decodeFile decodes the first (which is page 0); absent past
/// the last page. Image::dotsPerInch is the file's horizontal resolution when it declares one
/// above 72 dpi, else 0: libvips reports a missing resolution as 72 dpi (PNG, JFIF without
/// units) or 25.4 dpi (TIFF), and cameras write 72 as a placeholder. (decodeFile and
/// decodeBytes fill it the same way.)
std::optional<Image> decodeFilePage(const std::filesystem::path& path, int pageIndex);

/// The image turned as its exifOrientation says a viewer shows it; the result's orientation
/// is 1 (width and height swap for orientations 5–8). Absent for a malformed image.
std::optional<Image> turnedUpright(const Image& image);

/// The EXIF orientation that shows stored pixels as `exifOrientation` does (1–8; others
/// count as 1) and then turns the result clockwise by `clockwiseDegrees` (0, 90, 180 or 270;
/// others count as 0). With orientation 1 this is the turn alone: 1, 6, 3 or 8.
int turnedOrientation(int exifOrientation, int clockwiseDegrees);

/// Makes an RGB image whose pixels are all neutral (R = G = B) one gray channel: the same
/// picture in a third of the bytes, whose encodings carry no chroma. Other images are left
/// as they are.
void reduceToGrayIfNeutral(Image& image);

/// As decodeFile, from an in-memory file.
std::optional<Image> decodeBytes(std::span<const std::uint8_t> bytes);

/// filePageCount and decodeFilePage of an in-memory file.
int bytesPageCount(std::span<const std::uint8_t> bytes);
std::optional<Image> decodeBytesPage(std::span<const std::uint8_t> bytes, int pageIndex);

/// A complete JPEG file of the image at a quality in [0, 1]. The quality maps continuously
/// onto libjpeg's scale factor, so a lower quality gives the same or (rarely a few bytes more)
/// fewer bytes. An orientation other than 1 is written as a minimal EXIF block, and a CMYK
/// image is marked as `marking` says. Absent when the image is empty or malformed.
std::optional<Bytes> encodeJpeg(const Image& image, double quality,
                                CmykMarking marking = CmykMarking::none);

/// What a JPEG's header says, read without decoding the scan data.
struct JpegInfo {
    int widthPixels = 0;
    int heightPixels = 0;
    int components = 0;         // 1 gray, 3 YCbCr/RGB, 4 CMYK/YCCK
    bool adobeInverted = false; // Adobe APP14 CMYK, stored inverted
};
std::optional<JpegInfo> readJpegInfo(std::span<const std::uint8_t> jpeg);

} // namespace ImageCodec
