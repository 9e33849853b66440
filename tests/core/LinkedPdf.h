// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Test PDFs whose pages can be told apart after copying (page p is 100 + p points wide and
// says "Page p"), with internal links of every kind, and a reader of the links of a result.
// Built and read with QPDF directly, independently of the code under test.

#include "Platform/Bytes.h"

#include <algorithm>
#include <map>
#include <optional>
#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <string>
#include <vector>

namespace LinkedPdf {

enum class Kind {
    explicitDest,   // /Dest [page /Fit]
    explicitAction, // /A << /S /GoTo /D [page /XYZ 10 20 0] >>
    namedString,    // /Dest (dest-pN), resolved through /Names /Dests
    namedAction,    // /A << /S /GoTo /D (dest-pN) >>
    oldStyleName,   // /Dest /old-pN, resolved through the old /Dests dictionary
    pageNumber,     // /Dest [N-1 /Fit]: a 0-based number where a reference belongs
    missingName,    // /Dest (nowhere): names no destination
    uri,            // /A << /S /URI >>
};

struct Link {
    Kind kind;
    int targetPage = 0; // 1-based; unused by uri and missingName
};

inline double pageWidth(int pageNumber) {
    return 100.0 + pageNumber;
}

inline QPDFObjectHandle fitDestination(QPDFObjectHandle page) {
    return QPDFObjectHandle::newArray({page, QPDFObjectHandle::newName("/Fit")});
}

inline QPDFObjectHandle linkAnnotation(QPDF& pdf, const Link& link,
                                       const std::vector<QPDFObjectHandle>& pages) {
    const auto target = [&] { return pages.at(static_cast<std::size_t>(link.targetPage - 1)); };
    const std::string name = "dest-p" + std::to_string(link.targetPage);
    auto annot = QPDFObjectHandle::parse("<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] >>");
    switch (link.kind) {
    case Kind::explicitDest:
        annot.replaceKey("/Dest", fitDestination(target()));
        break;
    case Kind::explicitAction:
        annot.replaceKey("/A", QPDFObjectHandle::parse("<< /S /GoTo >>"));
        annot.getKey("/A").replaceKey(
            "/D",
            QPDFObjectHandle::newArray(
                {target(), QPDFObjectHandle::newName("/XYZ"), QPDFObjectHandle::newInteger(10),
                 QPDFObjectHandle::newReal("20.5"), QPDFObjectHandle::newInteger(0)}));
        break;
    case Kind::namedString:
        annot.replaceKey("/Dest", QPDFObjectHandle::newString(name));
        break;
    case Kind::namedAction:
        annot.replaceKey("/A", QPDFObjectHandle::parse("<< /S /GoTo >>"));
        annot.getKey("/A").replaceKey("/D", QPDFObjectHandle::newString(name));
        break;
    case Kind::oldStyleName:
        annot.replaceKey("/Dest",
                         QPDFObjectHandle::newName("/old-p" + std::to_string(link.targetPage)));
        break;
    case Kind::pageNumber:
        annot.replaceKey(
            "/Dest", QPDFObjectHandle::parse("[" + std::to_string(link.targetPage - 1) + " /Fit]"));
        break;
    case Kind::missingName:
        annot.replaceKey("/Dest", QPDFObjectHandle::newString("nowhere"));
        break;
    case Kind::uri:
        annot.replaceKey("/A",
                         QPDFObjectHandle::parse("<< /S /URI /URI (https://example.org/) >>"));
        break;
    }
    return pdf.makeIndirectObject(annot);
}

inline Bytes written(QPDF& pdf) {
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setDeterministicID(true);
    writer.write();
    const auto buffer = writer.getBufferSharedPointer();
    return Bytes(buffer->getBuffer(), buffer->getBuffer() + buffer->getSize());
}

inline void addNamedDestinations(QPDF& pdf, const std::vector<QPDFObjectHandle>& pages) {
    auto tree = QPDFNameTreeObjectHelper::newEmpty(pdf);
    auto oldStyle = QPDFObjectHandle::newDictionary();
    for (std::size_t i = 0; i < pages.size(); ++i) {
        const std::string number = std::to_string(i + 1);
        // Tree values are sometimes a dictionary holding the array under /D.
        auto value = fitDestination(pages[i]);
        if (i % 2 == 1) {
            value = QPDFObjectHandle::newDictionary();
            value.replaceKey("/D", fitDestination(pages[i]));
        }
        tree.insert("dest-p" + number, value);
        oldStyle.replaceKey("/old-p" + number, fitDestination(pages[i]));
    }
    auto names = QPDFObjectHandle::newDictionary();
    names.replaceKey("/Dests", tree.getObjectHandle());
    pdf.getRoot().replaceKey("/Names", names);
    pdf.getRoot().replaceKey("/Dests", pdf.makeIndirectObject(oldStyle));
}

/// pageCount pages; links[p] are the links on page p (1-based).
inline Bytes make(int pageCount, const std::map<int, std::vector<Link>>& links = {}) {
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper pagesHelper(pdf);
    auto font = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"));
    for (int p = 1; p <= pageCount; ++p) {
        auto page = QPDFObjectHandle::parse("<< /Type /Page /Resources << /Font << >> >> >>");
        page.replaceKey("/MediaBox", QPDFObjectHandle::newArray(
                                         QPDFObjectHandle::Rectangle(0, 0, pageWidth(p), 200)));
        page.getKey("/Resources").getKey("/Font").replaceKey("/F1", font);
        page.replaceKey("/Contents",
                        QPDFObjectHandle::newStream(&pdf, "BT /F1 12 Tf 5 100 Td (Page " +
                                                              std::to_string(p) + ") Tj ET"));
        pagesHelper.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
    }
    auto pages = pdf.getAllPages();
    for (const auto& [from, list] : links) {
        auto annots = QPDFObjectHandle::newArray();
        for (const auto& link : list)
            annots.appendItem(linkAnnotation(pdf, link, pages));
        pages.at(static_cast<std::size_t>(from - 1)).replaceKey("/Annots", annots);
    }
    addNamedDestinations(pdf, pages);
    return written(pdf);
}

/// A link as a reader of a result finds it.
struct FoundLink {
    int onPage = 0;       // 1-based page of the result that holds it
    bool web = false;     // a URI action
    int targetPage = 0;   // 1-based page of the result its destination shows; 0 if none
    int targetOrigin = 0; // the source page number that target page shows (from its width)
    friend bool operator==(const FoundLink&, const FoundLink&) = default;
};

/// The destination's first item must be a page of this very document: names are not
/// resolved (a result carries no name tables, so a name there leads nowhere).
inline int resultPageOf(QPDFObjectHandle destination, const std::vector<QPDFObjectHandle>& pages) {
    if (!destination.isArray() || destination.getArrayNItems() < 1)
        return 0;
    const auto first = destination.getArrayItem(0);
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (first.isIndirect() && first.getObjGen() == pages[i].getObjGen())
            return static_cast<int>(i + 1);
    return 0;
}

inline int originOf(QPDFObjectHandle page) {
    return static_cast<int>(page.getKey("/MediaBox").getArrayItem(2).getNumericValue() - 100);
}

inline std::vector<FoundLink> linksOf(const Bytes& pdfBytes) {
    QPDF pdf;
    pdf.processMemoryFile("result", reinterpret_cast<const char*>(pdfBytes.data()),
                          pdfBytes.size());
    auto pages = pdf.getAllPages();
    std::vector<FoundLink> found;
    for (std::size_t i = 0; i < pages.size(); ++i) {
        auto annots = pages[i].getKey("/Annots");
        for (int a = 0; annots.isArray() && a < annots.getArrayNItems(); ++a) {
            auto annot = annots.getArrayItem(a);
            auto action = annot.getKey("/A");
            FoundLink link{static_cast<int>(i + 1), false, 0, 0};
            link.web = action.isDictionary() && action.getKey("/S").isNameAndEquals("/URI");
            if (!link.web)
                link.targetPage = resultPageOf(
                    annot.hasKey("/Dest") ? annot.getKey("/Dest") : action.getKey("/D"), pages);
            if (link.targetPage > 0)
                link.targetOrigin =
                    originOf(pages.at(static_cast<std::size_t>(link.targetPage - 1)));
            found.push_back(link);
        }
    }
    return found;
}

} // namespace LinkedPdf
