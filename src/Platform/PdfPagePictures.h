// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"
#include "Platform/PdfDocument.h"

#include <optional>
#include <string>
#include <vector>

/// A word of a page's text and where the page shows it: points, origin at the bottom-left
/// corner of the page's media box as a viewer shows it (its /Rotate applied).
struct PdfWord {
    std::string text; // UTF-8
    double left = 0;
    double bottom = 0;
    double right = 0;
    double top = 0;
    int quarterTurns = 0; // the direction it reads in: 0 left to right, 1 downwards, 2, 3
};

/// One page as a viewer shows its media box, and its words.
struct PdfPageText {
    PageSize size;
    std::vector<PdfWord> words;
};

/// The pieces of a document whose pages are redrawn as pictures while everything else about
/// the document is kept. Pure functions over bytes; safe on any thread; nothing throws.
namespace PdfPagePictures {

/// The document as its pages alone draw it, for rendering and reading text: every page's
/// annotations removed (they stay live in the result, so they must not be painted into the
/// pictures too), crop boxes set to media boxes and the page tree flattened. Absent if QPDF
/// fails.
std::optional<Bytes> pagesOnly(const Bytes& pdf);

/// Each page's size and words as Poppler extracts them. Absent when Poppler cannot read the
/// document or counts its pages differently from QPDF.
std::optional<std::vector<PdfPageText>> text(const Bytes& pdf);

/// The first JPEG image of each page of a document made of picture pages (as PDFCompressor
/// makes them), in page order; absent when a page has none.
std::optional<std::vector<Bytes>> pageJpegs(const Bytes& pictures);

/// `source` with every page's content and resources replaced by those of the same page of
/// `drawn` (a document with as many pages, each as large as the source page is shown, drawn
/// upright): placed on the page so that they fill its media box as shown, whatever its
/// /Rotate. Everything else is kept — page boxes, rotation, annotations and links, the
/// outline, forms, document information — except the structure tree and other references
/// into the old content. Written as PdfCompaction writes. Absent if QPDF fails or the page
/// counts differ.
std::optional<Bytes> replaceContents(const Bytes& source, const Bytes& drawn);

} // namespace PdfPagePictures
