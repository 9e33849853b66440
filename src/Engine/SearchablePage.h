// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/OCREngine.h"
#include "Engine/PageReading.h"
#include "Platform/Image.h"
#include "Platform/PdfDocument.h"
#include "Platform/PdfPageImage.h"
#include "Platform/PdfWriter.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class TextRecognizer;

/// One page of a searchable PDF, made on a worker thread and later added to the document's
/// writer: the picture already encoded for the PDF (or a source PDF's own scanned image), and
/// the lines recognised in it.
struct SearchablePage {
    PdfImageData picture;    // unless `scan` is set
    int exifOrientation = 1; // how the stored picture is turned to fill the page
    /// A source PDF page's image, shown as that page placed it, through `sourceToPage`.
    std::optional<PdfPageImage> scan;
    /// For a page made from a PDF page: maps that page as a viewer shows it (points, origin
    /// bottom-left) onto this one.
    Affine sourceToPage;
    PageSize size; // in points; one point per pixel of the upright picture
    /// The upright picture the lines were read on, in pixels, when that is finer than the page
    /// (a scan read at its own resolution); zero when it is the page's own picture.
    PageSize readPixels;
    std::vector<OCRLine> lines;
    TextFrame frame; // where the lines were read; by default the page itself
};

/// A PDF page rendered to be read, and the page it becomes.
struct RenderedPdfPage {
    Image rendering;           // the page as a viewer shows it
    double pixelsPerPoint = 1; // the rendering's scale: it is read at 72 × this dpi
    PageSize pagePoints;       // the new page before any turn: the page rendered at pageScale
    double pageScale = 1;      // new page points per source point
    std::optional<PdfPageImage> scan; // the source page's one image, if it is a scan
};

/// The steps of SearchablePDF, one page at a time. The page makers are thread-safe (each
/// call uses the recogniser it is given); absent means the page cannot be made.
namespace SearchablePages {

/// Recognition languages, in priority order.
const std::vector<std::string>& languages();

/// Quality of the JPEG tried for a photo-like rendered page: high enough that a page stays
/// as legible as its lossless copy.
inline constexpr double kPhotoJpegQuality = 0.9;

/// An image shown upright (turned as its exifOrientation says, and as its text reads) and
/// stored losslessly. Every page maker reads its picture with PageReader::read.
std::optional<SearchablePage> fromImage(const Image& image, TextRecognizer& recognizer);

/// Page `pageIndex` of an image file's contents (see ImageCodec::decodeBytesPage). The first page
/// of a JPEG file keeps the file's own bytes, turned upright by the page's drawing rather than
/// re-encoded; anything else is stored upright and losslessly. Recognised upright, at the
/// file's resolution when it declares one.
std::optional<SearchablePage> fromFile(std::span<const std::uint8_t> file, int pageIndex,
                                       TextRecognizer& recognizer);

/// The pixels per point a PDF page of `shown` points is rendered at to be read: pageScale,
/// unless it is a scan whose image is finer; then the image's own resolution, up to
/// kFinestReadingDpi and as far as ImageCodec::kMaxPixels allows, so that fine print a
/// rendering at pageScale would blur is read from the pixels the scanner made.
double readingScale(PageSize shown, double pageScale, const std::optional<PdfPageImage>& scan);

inline constexpr double kFinestReadingDpi = 600;

/// A rendered PDF page, recognised at its rendering's resolution. A scanned page shows its own
/// image (`scan`, through sourceToPage); its rendering may be finer than the new page, whose
/// size pagePoints gives, and its lines are scaled onto that page. Any other page is rendered
/// at pageScale and stored losslessly (as gray when every pixel is neutral) unless it looks
/// like a photo and a JPEG at kPhotoJpegQuality is smaller.
std::optional<SearchablePage> fromRendering(RenderedPdfPage rendered, TextRecognizer& recognizer);

/// Whether an image looks like a photo or a scan with paper texture, where JPEG beats lossless
/// coding, rather than drawn text and flat colour, where lossless is better and exact.
/// Decided on a sample of pixels.
bool isPhotoLike(const Image& image);

/// Adds the page to the writer: the picture filling the page, then every line drawn with
/// drawInvisible along the slope it was read at. False when the writer refuses the page or
/// its picture.
bool add(const SearchablePage& page, PdfWriter& writer);

/// One line of invisible text: nothing for empty text or a box 1 point or less high or wide;
/// otherwise Helvetica at the box height × 0.85 (at least 1 point), its baseline starting at
/// the box's bottom-left corner, at the font's natural advance, narrowed to the box's width
/// when it would be wider. With `slopeDegrees` the box is the line's own, turned anticlockwise
/// by that angle about its bottom-left corner, and the text runs along it.
void drawInvisible(std::string_view text, const Rect& box, PdfWriter& writer,
                   double slopeDegrees = 0);

} // namespace SearchablePages
