// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Affine.h"
#include "Platform/QpdfLinks.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <vector>

/// Carries what a document holds beyond its pages' pictures onto pages made anew from them in
/// another document (a searchable or rasterised remake). Private to the PDF platform files.
/// Nothing throws: each part that cannot be read is left out and the others are carried.
namespace QpdfRemake {

/// A page of the new document made from a page of the source.
struct RemadePage {
    QPDFObjectHandle sourcePage;
    QPDFObjectHandle page;
    Affine sourceToPage; // the source page's default user space onto the new page's
};

/// Onto `destination`, whose `pages` were made from pages of the source: each source page's
/// links (QpdfLinks::carryLinks); the outline (QpdfOutline::copy; items whose page was not
/// remade dropped, views mapped like the links'), replacing any; the document information
/// dictionary without /Producer (the file is no longer the source's producer's work); and the
/// catalogue's XMP /Metadata stream with its bytes as they are. The source is only read and
/// nothing of it is referenced afterwards.
void keepStructure(QpdfLinks::NamedDestinations& source, QPDF& destination,
                   const std::vector<RemadePage>& pages);

} // namespace QpdfRemake
