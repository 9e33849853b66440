// SPDX-License-Identifier: GPL-3.0-or-later
// Links carried from a source's pages onto pages made anew, through each page's transform.
#include "LinkedPdf.h"
#include "Platform/QpdfLinks.h"

#include <gtest/gtest.h>
#include <regex>

namespace {

struct Case {
    const char* link;     // the source annotation's action or destination, on source page 1
    const char* expected; // the carried annotation's, new pages written as N1, N2…; "" if none
};

// "[P2 /Fit]" → the source page object; "N1" in results stands for the new page 1.
QPDFObjectHandle annotation(QPDF& pdf, const std::string& link) {
    std::string text = link;
    auto pages = pdf.getAllPages();
    for (std::size_t i = 0; i < pages.size(); ++i)
        text =
            std::regex_replace(text, std::regex("P" + std::to_string(i + 1)), pages[i].unparse());
    return pdf.makeIndirectObject(QPDFObjectHandle::parse(
        &pdf, "<< /Type /Annot /Subtype /Link /Rect [0 0 10 10] /Border [0 0 0] " + text + " >>"));
}

std::string shown(QPDFObjectHandle object, std::vector<QPDFObjectHandle> newPages) {
    std::string text = object.unparse();
    for (std::size_t i = 0; i < newPages.size(); ++i)
        text = std::regex_replace(text, std::regex(newPages[i].unparse()),
                                  "N" + std::to_string(i + 1));
    return text;
}

} // namespace

// Page 1 (101 × 200) grows twice; page 2 (102 × 200) grows twice and turns a quarter right
// onto a 400 × 204 page; page 3 has no new page.
TEST(LinkCarry, DestinationsAndRectanglesFollowTheirPagesTransforms) {
    const Affine grown = Affine::scaling(2, 2);
    const Affine turned = grown.then(Affine::quarterTurn(90, 204, 400));
    const std::vector<Case> cases = {
        {"/Dest [P1 /XYZ 10 20 2]", "/Dest [ N1 /XYZ 20 40 1 ]"},
        {"/Dest [P2 /XYZ 10 20 2]", "/Dest [ N2 /XYZ 40 184 1 ]"},
        {"/Dest [P1 /XYZ null 20 0]", "/Dest [ N1 /XYZ null 40 0 ]"},
        {"/Dest [P2 /FitH 50]", "/Dest [ N2 /FitV 100 ]"},
        {"/Dest [P2 /FitBV 30]", "/Dest [ N2 /FitBH 144 ]"},
        {"/Dest [P1 /FitR 10 20 30 40]", "/Dest [ N1 /FitR 20 40 60 80 ]"},
        {"/Dest [1 /Fit]", "/Dest [ N2 /Fit ]"},
        {"/Dest (dest-p2)", "/Dest [ N2 /Fit ]"},
        {"/A << /S /GoTo /D /old-p1 >>", "/A << /D [ N1 /Fit ] /S /GoTo >>"},
        {"/A << /S /URI /URI (https://example.org/) >>",
         "/A << /S /URI /URI (https://example.org/) >>"},
        {"/A << /S /Named /N /NextPage >>", "/A << /N /NextPage /S /Named >>"},
        {"/Dest [P3 /Fit]", ""},
        {"/Dest (nowhere)", ""},
        {"/A << /S /Launch /F (run.sh) >>", ""},
        {"", ""},
    };
    QPDF source;
    const Bytes bytes = LinkedPdf::make(3);
    source.processMemoryFile("source", reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto sourcePages = source.getAllPages();
    auto annots = QPDFObjectHandle::newArray();
    for (const Case& c : cases)
        annots.appendItem(annotation(source, c.link));
    sourcePages[0].replaceKey("/Annots", annots);
    sourcePages[1].replaceKey("/Annots",
                              QPDFObjectHandle::newArray({annotation(source, "/Dest [P1 /Fit]")}));

    QPDF made;
    made.emptyPDF();
    for (const char* box : {"[0 0 202 400]", "[0 0 400 204]"})
        made.addPage(made.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Page /MediaBox " +
                                                                     std::string(box) + " >>")),
                     false);
    auto newPages = made.getAllPages();
    QpdfLinks::PageMap map;
    map.add(sourcePages[0], newPages[0], grown);
    map.add(sourcePages[1], newPages[1], turned);
    QpdfLinks::NamedDestinations names(source);
    EXPECT_EQ(QpdfLinks::carryLinks(names, sourcePages[0], newPages[0], grown, map), 11);
    EXPECT_EQ(QpdfLinks::carryLinks(names, sourcePages[1], newPages[1], turned, map), 1);

    auto carried = newPages[0].getKey("/Annots");
    std::size_t next = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        if (*c.expected == '\0')
            continue;
        ASSERT_LT(static_cast<int>(next), carried.getArrayNItems());
        auto link = carried.getArrayItem(static_cast<int>(next++));
        EXPECT_EQ(shown(link.getKey("/Rect"), newPages), "[ 0 0 20 20 ]");
        EXPECT_EQ(shown(link.getKey("/Border"), newPages), "[ 0 0 0 ]");
        const std::string key = link.hasKey("/Dest") ? "/Dest" : "/A";
        EXPECT_EQ(key + " " + shown(link.getKey(key), newPages), c.expected);
    }
    // The turned page's link lies where the turn takes its corner: 10 × 10 grown and turned.
    auto turnedLink = newPages[1].getKey("/Annots").getArrayItem(0);
    EXPECT_EQ(shown(turnedLink.getKey("/Rect"), newPages), "[ 0 184 20 204 ]");
    EXPECT_EQ(shown(turnedLink.getKey("/Dest"), newPages), "[ N1 /Fit ]");
    // Nothing of the source came along: the new document holds its pages, their links and
    // no other object.
    EXPECT_EQ(made.getObjectCount(), newPages.size() + 12 + 2 /* page tree, catalog */);
}
