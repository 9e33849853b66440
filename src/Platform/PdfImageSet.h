// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"
#include "Platform/JpegReader.h"
#include "Platform/PdfWriter.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

/// An image of a PDF that may be stored again at another size or encoding without changing
/// what anything else in the document shows.
struct PdfImageInfo {
    int widthPixels = 0;
    int heightPixels = 0;
    int channels = 1;     // of its pixels: 1 gray, 3 RGB, 4 CMYK (in its own colour space)
    bool bilevel = false; // 1 bit per pixel, black and white: to be stored 1-bit and losslessly
    bool softMask = false;
    /// The largest size any page draws it at, in inches along its own axes.
    double widthInches = 0;
    double heightInches = 0;
    std::int64_t storedBytes = 0; // its stream's bytes (and its soft mask's) as stored now
    int firstPage = 0;            // 0-based index of the first page that draws it
};

/// What an image shows: its pixels (bilevel images as gray 0 and 255) and its soft mask's.
struct PdfImagePixels {
    Image image;
    std::optional<Image> mask;
    CmykMarking cmykMarking = CmykMarking::none; // how a CMYK JPEG of it must be marked
};

/// The new stream of an image: the image (its colour space unchanged, so its components must
/// be the image's channels, or one bit for a bilevel image) and a new soft mask (8-bit gray)
/// when it had one.
struct PdfImageReplacement {
    PdfImageData image;
    std::optional<PdfImageData> mask;
};

/// The images of a PDF that may be resampled or re-encoded: image XObjects drawn by page
/// content (also through forms) at sizes that are all known, 8-bit gray, RGB or CMYK (device,
/// calibrated or ICC-based; 2, 4 or 16 bits are brought to 8), indexed over one of those
/// (pixels() gives the palette's colours, and a replacement is stored in the palette's colour
/// space) or 1-bit gray, without /Decode, colour-key or stencil masks and
/// stored with filters that decode losslessly, as a plain JPEG or as JPEG 2000 (whose colour
/// space may be its data's own plain gray or sRGB); a soft mask must be 8-bit gray of the same
/// kind. Everything else is left out and so kept as it is. Not copyable;
/// pixels() may be called from several threads at once (reading the document takes turns,
/// decoding JPEG and JPEG 2000 does not); nothing throws.
class PdfImageSet {
public:
    /// Absent when QPDF cannot read the document or it has no page.
    static std::optional<PdfImageSet> open(Bytes pdf);

    PdfImageSet(PdfImageSet&&) noexcept;
    PdfImageSet& operator=(PdfImageSet&&) noexcept;
    ~PdfImageSet();

    int pageCount() const;
    /// The images, ordered by the first page that draws them.
    const std::vector<PdfImageInfo>& images() const;

    /// Image `index` decoded; absent when its data (or its mask's) is damaged, truncated or
    /// not the size its dictionary says, and after write().
    std::optional<PdfImagePixels> pixels(int index);

    /// The document with each image that has a replacement stored as that replacement (the
    /// same object, so every use shows it), written as PdfCompaction writes. Absent if QPDF
    /// fails. `replacements` is indexed as images().
    std::optional<Bytes> write(const std::vector<std::optional<PdfImageReplacement>>& replacements);

private:
    struct State;
    explicit PdfImageSet(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};
