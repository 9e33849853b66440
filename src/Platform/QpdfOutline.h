// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/QpdfLinks.h"

#include <map>
#include <optional>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <string>
#include <vector>

/// Carries a document's outline (bookmarks) onto page copies in another document. QPDF copies
/// pages only; an outline refers to source pages and source names, so it is rebuilt item by
/// item against a map of the pages that were carried. Private to the PDF platform files;
/// throws QPDF's exceptions (std::exception subclasses) only where noted.
///
/// Damaged outlines never hang or crash: items are visited once (cycles through /First and
/// /Next end), nesting is bounded, siblings are walked in one linear pass, and an item that
/// cannot be read is left out.
namespace QpdfOutline {

/// Source page object → its copy in the destination. A page not in the map was not carried.
using PageMap = std::map<QPDFObjGen, QPDFObjectHandle>;

/// Copies the outline of the document of `source` into `destination`, keeping hierarchy,
/// titles (their bytes), open or closed state, /C colour and /F style. Every destination (an
/// item's /Dest, or a GoTo action's /D; explicit or named) becomes an explicit /Dest to the
/// mapped page with the same view. An item whose destination does not map is dropped and its
/// children take its place; URI actions stay; an item with neither (or another action) stays
/// only as the heading of children that stay. Returns the top-level items: indirect objects of
/// `destination`, each with its subtree linked, with no /Parent, /Prev or /Next yet (attach()
/// or setOutline() sets them). The source is only read. Empty when there is no outline.
std::vector<QPDFObjectHandle> copy(QpdfLinks::NamedDestinations& source, QPDF& destination,
                                   const PageMap& pages);

/// The outline of a document read once, to be copied onto the page copies of many documents
/// (the parts of a split) without reading the source's objects again for each: copyTo() gives
/// what copy() gives for the source as it was read. Holds handles into the source document,
/// which must stay open and unchanged while it is used. Reading throws only when the
/// document's catalogue cannot be read; an item that cannot be read is left out, as copy()
/// leaves it out.
class SourceOutline {
public:
    explicit SourceOutline(QpdfLinks::NamedDestinations& source);
    std::vector<QPDFObjectHandle> copyTo(QPDF& destination, const PageMap& pages) const;

    struct Item {
        enum class Kind { none, destination, uri } kind = Kind::none;
        std::string title;              // the bytes of /Title
        std::vector<double> colour;     // /C: three finite components, or none
        std::optional<long long> flags; // /F
        bool open = false;              // a positive /Count
        bool readable = true;           // false: its looks could not be read
        std::optional<QPDFObjGen> page; // a destination's page in the source
        QPDFObjectHandle destination;   // the source's explicit destination, for its view
        std::string uri;
        std::vector<Item> children;
    };

private:
    std::vector<Item> m_items;
};

/// A new item of `destination` titled `utf8Title`, showing the whole of `page`.
QPDFObjectHandle newItem(QPDF& destination, const std::string& utf8Title, QPDFObjectHandle page);

/// Makes `items` the children of `parent` (an item or the outline root), replacing any:
/// links /Parent, /Prev, /Next, /First, /Last and sets the parent's /Count from the items'
/// own counts, positive (open) or negative (closed) as `open` says.
void attach(QPDFObjectHandle parent, const std::vector<QPDFObjectHandle>& items, bool open);

/// Makes `items` the whole outline of `destination` (the catalogue's /Outlines, replaced);
/// no items removes it.
void setOutline(QPDF& destination, const std::vector<QPDFObjectHandle>& items);

/// A top-level item that leads to a page of its own document.
struct TopLevelItem {
    std::string title; // UTF-8, decoded from PDFDocEncoding or UTF-16
    int pageIndex = 0; // 0-based
};

/// The document's top-level outline items whose destination resolves to one of its pages, in
/// outline order. Items that do not resolve, or cannot be read, are left out.
std::vector<TopLevelItem> topLevelItems(QpdfLinks::NamedDestinations& document);

} // namespace QpdfOutline
