// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <qpdf/QPDF.hh>
#include <vector>

/// Page labels (the page numbers a viewer shows, such as "iv" or "A-3") carried onto page
/// copies. Private to the PDF platform files; throws QPDF's exceptions.
namespace QpdfPageLabels {

/// Where a page of a document came from.
struct Origin {
    QPDF* source = nullptr; // null: unknown, numbered as its position in the document
    int sourceIndex = 0;    // 0-based page index in source
};

/// Replaces the destination's /PageLabels so that page i shows the label pages[i] showed in
/// its own document. A page of a document without labels shows its own page number there
/// (decimal, from 1), as viewers number such a document. Consecutive pages that continue one
/// numbering share one range. When no origin has labels, the destination gets none.
void keep(QPDF& destination, const std::vector<Origin>& pages);

} // namespace QpdfPageLabels
