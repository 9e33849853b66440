// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"
#include "Platform/JpegReader.h"

#include <memory>
#include <optional>

/// Encodes one image as JPEG at many qualities, for quality searches.
///
/// Construction does the work that does not depend on the quality once; encode() then only
/// does what does. encode(q) gives exactly the bytes of ImageCodec::encodeJpeg(image, q).
/// encode() is const and safe to call from several threads at once. The encoder keeps a
/// reference to the image (no copy): the image must outlive the encoder and stay unchanged.
/// A CMYK image is marked as `marking` says.
class JpegEncoder {
public:
    explicit JpegEncoder(const Image& image, CmykMarking marking = CmykMarking::none);
    ~JpegEncoder();
    JpegEncoder(JpegEncoder&&) noexcept;
    JpegEncoder& operator=(JpegEncoder&&) noexcept;

    /// A complete JPEG file at a quality in [0, 1]; absent when the image is empty or malformed.
    std::optional<Bytes> encode(double quality) const;

private:
    struct Prepared;
    std::unique_ptr<Prepared> m_prepared;
};
