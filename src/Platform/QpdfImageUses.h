// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjGen.hh>
#include <set>

/// Where a document's images are drawn, for the PDF platform files that resample them.
/// Throws QPDF's exceptions only for a document whose page tree cannot be read.
namespace QpdfImageUses {

/// The largest size an image is drawn at, on any page, in inches along its own axes.
struct Extent {
    double widthInches = 0;
    double heightInches = 0;
    int firstPage = 0; // 0-based index of the first page that draws it
};

struct Uses {
    /// Image XObjects drawn by pages' content (also through forms), with their largest extent.
    std::map<QPDFObjGen, Extent> drawn;
    /// Images that something else may draw at a size not known here — a pattern, a Type 3
    /// glyph, a soft mask group, an annotation's appearance, a form nested too deep or in a
    /// cycle, or content that does not parse cleanly. They are to be kept as they are.
    std::set<QPDFObjGen> unknown;
};

/// Follows every page's content with its transformation (q, Q, cm, form /Matrix, /UserUnit).
Uses find(QPDF& pdf);

} // namespace QpdfImageUses
