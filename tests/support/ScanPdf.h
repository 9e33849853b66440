// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/Image.h"

#include <functional>
#include <map>
#include <string>
#include <vector>

class QPDF;
class QPDFObjectHandle;

/// PDFs whose pages are scanned images, written the ways scanners and OCR tools write them.
namespace ScanPdf {

/// Makes the page's image stream (and whatever it refers to) in the document being written.
using ImageMaker = std::function<QPDFObjectHandle(QPDF& pdf)>;

/// Its resources name the image /Im0, a graphics state /GS0 that changes nothing visible, and
/// Helvetica as /F1.
struct Page {
    double widthPoints = 612;
    double heightPoints = 792;
    int rotateDegrees = 0;
    ImageMaker image;          // drawn as /Im0
    std::string placement;     // the six `cm` operands that place it
    std::string before, after; // more content around `q placement cm /Im0 Do Q`
};

/// The pages in one PDF (their images made in order). Throws std::runtime_error on failure.
Bytes pdf(const std::vector<Page>& pages);

/// An image XObject over `data`, its dictionary given in PDF syntax (without /Type, /Subtype
/// and /Length); entries that refer to other objects are added by the caller.
QPDFObjectHandle imageStream(QPDF& pdf, const Bytes& data, const std::string& dictionary);

/// The picture stored as PdfWriter stores it without loss (Flate, or CCITT G4 when bilevel);
/// `more` may add entries to its dictionary.
ImageMaker lossless(const Image& picture,
                    std::function<void(QPDF& pdf, QPDFObjectHandle dictionary)> more = {});

/// The `cm` operands that make the image fill a width × height page.
std::string filling(double widthPoints, double heightPoints);

/// A page that is the picture alone, at `pixelsPerPoint`, stored by lossless().
Page filledWith(const Image& picture, double pixelsPerPoint);

/// A bilevel gray image (0 black) as an embedded JBIG2 stream: page information, one
/// immediate lossless generic region coded with MMR (T.6), end of page. `globals` gets an
/// extension segment that a JBIG2Globals stream can hold.
Bytes jbig2Page(const Image& gray, Bytes& globals);

/// The raw bytes of every stream the page's images hold or refer to, by their path from the
/// image ("/Im", "/Im/SMask", "/Im/DecodeParms/JBIG2Globals", "/Im/ColorSpace/1").
std::map<std::string, std::string> imageStreams(const Bytes& pdf, int pageIndex = 0);

} // namespace ScanPdf
