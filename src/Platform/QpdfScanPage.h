// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/PdfPageImage.h"

#include <memory>
#include <optional>
#include <qpdf/QPDFObjectHandle.hh>

/// What a PdfPageImage refers to: the image stream and whatever keeps its document alive.
struct PdfImageSource {
    std::shared_ptr<const void> owner;
    QPDFObjectHandle image;
};

/// Recognises a scanned page among the PDF platform files. Throws QPDF's exceptions.
namespace QpdfScanPage {

/// The page's one painted image when everything else the page holds is invisible: text in
/// rendering mode 3 (a scanner's or an OCR tool's text layer), clipping to rectangles, marked
/// content and graphics state that does not change how the image looks. Absent when the page
/// paints anything else (paths, visible text, shadings, inline images, forms, a second image),
/// has annotations, blends or masks through its graphics state, or shows an image that
/// belongs to an optional-content group. `owner` is what keeps the page's document alive.
std::optional<PdfPageImage> find(QPDFObjectHandle page, std::shared_ptr<const void> owner);

} // namespace QpdfScanPage
