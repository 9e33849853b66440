// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Affine.h"
#include "Platform/Bytes.h"
#include "Platform/Image.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfPageImage.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

/// An image encoded for a PDF page: the stream's bytes and what its dictionary must say.
/// Made by PdfWriter::losslessImage or PdfWriter::jpegImage on any thread, drawn by one writer.
struct PdfImageData {
    Bytes data;         // the encoded stream, as stored in the file
    std::string filter; // "/DCTDecode", "/FlateDecode" or "/CCITTFaxDecode"
    int widthPixels = 0;
    int heightPixels = 0;
    int components = 0; // 1 gray (or bilevel), 3 RGB, 4 CMYK
    int bitsPerComponent = 8;
    bool adobeInverted = false; // a CMYK JPEG stored inverted (Adobe APP14)
    std::string decodeParms;    // the /DecodeParms dictionary in PDF syntax; empty for none

    std::size_t byteCount() const { return data.size(); }
};

/// A written page made from a page of another document.
struct PdfPageOrigin {
    int sourcePageIndex = 0;
    /// Maps the source page as a viewer shows it (points, origin at its bottom-left corner,
    /// its /Rotate applied) onto the written page.
    Affine shownToPage;
};

/// A PDF built in memory, page by page. Page content is Parvo's own: images are placed in
/// PDF user space (points, origin at the page's bottom left). Not thread-safe; one writer per
/// thread. Nothing throws.
class PdfWriter {
public:
    PdfWriter();
    ~PdfWriter();
    PdfWriter(const PdfWriter&) = delete;
    PdfWriter& operator=(const PdfWriter&) = delete;

    /// Starts a page whose media box is (0, 0, widthPoints, heightPoints); ends any open page.
    /// False (and no page open) when a size is not a finite positive number, or after finish().
    bool beginPage(double widthPoints, double heightPoints);

    /// Draws a JPEG file's bytes, embedded unchanged (DCTDecode), scaled to fill the rectangle.
    /// False when no page is open, the rectangle is not finite with a positive width and
    /// height, or the bytes are not a JPEG the header reader accepts (1, 3 or 4 components).
    bool drawJpeg(std::span<const std::uint8_t> jpeg, double xPoints, double yPoints,
                  double widthPoints, double heightPoints);

    /// The image encoded without loss: 1-bit when every pixel is pure black or white (CCITT G4,
    /// or 1-bit Flate when that is smaller), 8-bit gray for gray images (also for an RGB image
    /// whose pixels are all gray), otherwise 8-bit RGB; Flate with PNG predictors. Absent for
    /// an empty or malformed image (not 1 or 3 channels, pixel count not matching the size).
    /// Thread-safe; memory beyond the result is a few rows.
    static std::optional<PdfImageData> losslessImage(const Image& image);
    /// A JPEG file's bytes, to be embedded unchanged; absent when the header reader refuses
    /// them (see drawJpeg). Thread-safe.
    static std::optional<PdfImageData> jpegImage(std::span<const std::uint8_t> jpeg);

    /// Draws an encoded image so that, turned as `exifOrientation` (1–8) says, it fills the
    /// rectangle: the stored pixels are turned by the placement matrix, not re-encoded. For
    /// orientations 5–8 the rectangle's width spans the stored height. Other values count as
    /// 1, as EXIF readers do. Each call adds the image's bytes once more. The same failures as
    /// drawJpeg, and false for image data no factory above would make.
    bool drawImage(const PdfImageData& image, double xPoints, double yPoints, double widthPoints,
                   double heightPoints, int exifOrientation = 1);

    /// Draws another PDF's scanned-page image with its own stream and everything the stream
    /// refers to (masks, colour profiles, JBIG2 globals, its /Decode…) stored exactly as they
    /// are in the source, placed by image.placement followed by `toPage`, inside the image's
    /// clips, a stencil mask in its fill colour. The same source image drawn again shares the
    /// stored copy. The source document's structure is kept until finish(). False when no
    /// page is open, the placement is not finite or the image cannot be copied.
    bool drawPageImage(const PdfPageImage& image, const Affine& toPage);

    /// Places UTF-8 text that can be extracted, searched and selected but is not painted
    /// (text rendering mode 3), its baseline starting at (x, y), at `fontSizePoints`, with
    /// Helvetica at its natural advance — narrowed horizontally, when `maxWidthPoints` is
    /// positive and the line would be wider, so that it ends there instead of running past
    /// its box (text beyond the page edge is neither found nor selectable). Characters outside
    /// Helvetica's WinAnsi encoding use an embedded glyphless fallback font (half an em wide, a
    /// full em for CJK and emoji) that continues where Helvetica left off, so every script stays
    /// extractable; malformed UTF-8 becomes U+FFFD. Both fonts are added once per document.
    /// The fallback's program is Tesseract's pdf.ttf (see PdfFonts): when it cannot be read, a
    /// line that needs it is refused (false) and finish() gives nothing, never a document that
    /// lacks part of its text.
    /// With `angleDegrees` the line runs from (x, y) at that angle, anticlockwise from the page's
    /// horizontal (the width limit then applies along the line); each of its words is drawn
    /// level, centred on the sloping line, so that extractors keep words whole. Empty text draws
    /// nothing and succeeds. False when no page is open, x, y or the angle is not finite, or the
    /// size is not finite and positive.
    bool drawInvisibleText(std::string_view utf8, double xPoints, double yPoints,
                           double fontSizePoints, double maxWidthPoints = 0,
                           double angleDegrees = 0);

    /// Carries onto the pages written so far, the i-th made from origins[i], what `source`
    /// holds beyond its pages' pictures: its link annotations (rectangles and destinations
    /// mapped through the pages' transforms; web links kept), its outline (items whose page was
    /// not written dropped), its document information but /Producer, and its XMP metadata.
    /// What cannot be read is left out. Ends any open page. Uses the source's structure: on the
    /// source's thread. False when origins and pages do not match or a source page index is
    /// out of range (nothing is carried then).
    bool keepStructure(const PdfDocument& source, const std::vector<PdfPageOrigin>& origins);

    void endPage();
    /// Pages begun so far, including an open one.
    int pageCount() const;

    /// Ends any open page and returns the complete PDF (a PDF without pages when none was
    /// begun). Absent if writing failed. The writer is spent afterwards.
    std::optional<Bytes> finish();

private:
    bool drawWordsAlong(std::string_view utf8, Point start, double fontSizePoints,
                        double maxWidthPoints, double angleDegrees);

    struct State;
    std::unique_ptr<State> m_state;
};
