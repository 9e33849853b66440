// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"

namespace Synth {

struct JpxForm {
    bool container = true; // a JP2 file; else a bare codestream
    int bits = 8;          // of every component, the image's 8 bits scaled to them
    bool alpha = false;    // an alpha component after the colour ones
};

/// The image as lossless JPEG 2000, written with OpenJPEG's encoder.
Bytes jpxBytes(const Image& image, JpxForm form = {});

} // namespace Synth
