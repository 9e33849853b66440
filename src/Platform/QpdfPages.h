// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Affine.h"
#include "Platform/Bytes.h"
#include "Platform/PdfDocument.h"

#include <memory>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>

/// QPDF helpers shared by the PDF platform files. These functions throw QPDF's exceptions
/// (std::exception subclasses); the public Pdf* classes catch them.
namespace QpdfPages {

/// Opens a PDF over bytes that are not copied: they must outlive the result. Warnings are
/// suppressed. Throws when QPDF can neither read nor repair the file, or it needs a password.
std::unique_ptr<QPDF> open(const Bytes& bytes);

/// A new document without pages, warnings suppressed.
std::unique_ptr<QPDF> createEmpty();

/// The page's /Rotate (inherited through the page tree) as a viewer applies it: 0, 90, 180
/// or 270. Values that are not integer multiples of 90 count as 0, as in Poppler.
int rotationDegrees(QPDFObjectHandle page);

/// The page's media box (inherited), with width and height swapped for 90 and 270 degrees.
/// A missing or degenerate media box is US Letter, the default Poppler renders.
PageSize displayedMediaBox(QPDFObjectHandle page);

/// Maps the page's default user space onto the page as a viewer shows it: the media box's
/// lower-left corner to the origin, then turned by /Rotate (see displayedMediaBox).
Affine displayTransform(QPDFObjectHandle page);

/// Whether some page has a CropBox (inherited) other than its media box.
bool anyCropBoxDiffers(QPDF& pdf);

/// Sets /CropBox to the media box on every page whose crop box differs from it.
void cropPagesToMediaBox(QPDF& pdf);

/// Rewrites the page tree as one node listing the pages QPDF found, with a true /Count and
/// inherited attributes moved onto the pages, so that every reader counts what QPDF counts.
void flattenPageTree(QPDF& pdf);

enum class WriteMode {
    /// Compact (object streams), deterministic /ID unless encryption is kept.
    Output,
    /// Fast and unencrypted, streams passed through as they are: only for Poppler's eyes.
    Rendering,
};
/// The whole file; expectedBytes, when known, spares regrowing the output as it is written.
Bytes write(QPDF& pdf, WriteMode mode, std::size_t expectedBytes = 0);

} // namespace QpdfPages
