// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Private to ImageCodec/JpegEncoder: the pieces both need around libjpeg.
#include "Platform/Bytes.h"

#include <array>
#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first
#include <jpeglib.h>

namespace JpegSupport {

/// libjpeg's default error handler prints and calls exit(). This one is silent and jumps back
/// to the setjmp() of the function that owns the libjpeg object; that function must hold only
/// trivially destructible locals between setjmp() and the end of its libjpeg use.
struct ErrorManager {
    jpeg_error_mgr manager{};
    std::jmp_buf jumpBack{};
};

/// Installs `errors` as the error handler of a libjpeg object before its create call.
jpeg_error_mgr* installErrorManager(ErrorManager& errors);

/// A destination that appends the compressed stream to `out` (which must outlive the object).
struct VectorDestination {
    jpeg_destination_mgr manager{};
    Bytes* out = nullptr;
};
void useVectorDestination(j_compress_ptr cinfo, VectorDestination& destination, Bytes& out);

/// Quality in [0, 1] → libjpeg's scale factor in percent, continuously: Q = 1 + 99q, then
/// libjpeg's own rule (5000/Q below 50, 200 − 2Q above). Lower quality, larger scale.
double scaleForQuality(double quality);

/// A quantisation table in natural order for a scale factor in percent: the standard luminance
/// or chrominance table scaled with rounding, clamped to 1..255 so the file stays baseline.
/// Each entry is non-decreasing in the scale, which keeps the sizes of a quality sweep nearly
/// monotone.
std::array<unsigned, DCTSIZE2> quantTable(double scalePercent, bool chroma);

/// The APP1 payload (starting "Exif\0\0") that records only an orientation (1–8): a big-endian
/// TIFF header and an IFD0 with the single Orientation tag. Other metadata is never copied.
Bytes exifOrientationPayload(int orientation);

} // namespace JpegSupport
