// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"

#include <optional>

/// CCITT Group 4 (T.6) coding of bilevel images, by Leptonica's encoder (through libtiff).
/// Safe to call from several threads at once; never throws (beyond std::bad_alloc).
namespace G4Encoder {

struct Coded {
    Bytes data;              // the bare G4 code, as a PDF CCITTFaxDecode stream holds it
    bool blackIsOne = false; // the code's "black" runs are the image's white pixels
};

/// The image coded as G4: `gray` must be 1-channel, with 0 for black and anything else
/// white. Absent when Leptonica fails or its output is not a single G4 strip.
std::optional<Coded> encode(const Image& gray);

} // namespace G4Encoder
