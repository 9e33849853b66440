// SPDX-License-Identifier: GPL-3.0-or-later
// A searchable copy of a PDF that keeps, on request, its bookmarks, links and information.
#include "Engine/SearchablePDF.h"
#include "LinkedPdf.h"
#include "support/OutlinePdf.h"
#include "support/RecognizerTest.h"
#include "support/TextPages.h"

#include <gtest/gtest.h>

namespace {

using TextPages::Word;

constexpr double kHeight = 260;
const std::string kXmp = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";

class SearchableStructureTest : public RecognizerTest {};

QPDFObjectHandle linkOver(QPDF& pdf, const Word& word, const std::string& action) {
    return pdf.makeIndirectObject(QPDFObjectHandle::parse(
        &pdf, "<< /Type /Annot /Subtype /Link /Border [0 0 0] /Rect [" + std::to_string(word.left) +
                  " " + std::to_string(kHeight - word.bottom) + " " + std::to_string(word.right) +
                  " " + std::to_string(kHeight - word.top) + "] " + action + " >>"));
}

QPDFObjectHandle item(QPDF& pdf, const std::string& title, const std::string& destination) {
    return pdf.makeIndirectObject(
        QPDFObjectHandle::parse(&pdf, "<< /Title (" + title + ") /Dest " + destination + " >>"));
}

// Two pages of text, the second turned by /Rotate; each links from its first word to the
// other page, page 1 also to the web from its fifth; two bookmarks, one nested; a title, a
// producer and XMP metadata.
Bytes source(const std::vector<std::vector<Word>>& words) {
    const TextPages::Page page = TextPages::paragraph(200, kHeight);
    return OutlinePdf::edited(TextPages::pdf({page, page}), [&](QPDF& pdf) {
        auto pages = pdf.getAllPages();
        const std::string p1 = pages[0].unparse(), p2 = pages[1].unparse();
        pages[1].replaceKey("/Rotate", QPDFObjectHandle::newInteger(90));
        pages[0].replaceKey(
            "/Annots",
            QPDFObjectHandle::newArray(
                {linkOver(pdf, words[0][0], "/Dest [" + p2 + " /XYZ 0 200 0]"),
                 linkOver(pdf, words[0][4], "/A << /S /URI /URI (https://example.org/) >>")}));
        pages[1].replaceKey(
            "/Annots",
            QPDFObjectHandle::newArray({linkOver(pdf, words[1][0], "/Dest [" + p1 + " /Fit]")}));
        auto first = item(pdf, "One", "[" + p1 + " /XYZ 0 100 0]");
        auto second = item(pdf, "Two", "[" + p2 + " /Fit]");
        auto root = pdf.makeIndirectObject(
            QPDFObjectHandle::parse(&pdf, "<< /Type /Outlines /Count 2 /First " + first.unparse() +
                                              " /Last " + first.unparse() + " >>"));
        first.replaceKey("/Parent", root);
        first.replaceKey("/First", second);
        first.replaceKey("/Last", second);
        first.replaceKey("/Count", QPDFObjectHandle::newInteger(1));
        second.replaceKey("/Parent", first);
        pdf.getRoot().replaceKey("/Outlines", root);
        pdf.getTrailer().replaceKey(
            "/Info", pdf.makeIndirectObject(QPDFObjectHandle::parse(
                         "<< /Title (Keep me) /Producer (Someone else) /Author (A. Writer) >>")));
        pdf.getRoot().replaceKey("/Metadata", QPDFObjectHandle::newStream(&pdf, kXmp));
    });
}

struct Kept {
    std::vector<LinkedPdf::FoundLink> links;
    std::vector<std::array<double, 4>> rects; // of the links, in order
    std::string info;                         // the /Info dictionary as written
    std::string metadata;
};

Kept keptIn(const Bytes& bytes) {
    QPDF pdf;
    pdf.processMemoryFile("result", reinterpret_cast<const char*>(bytes.data()), bytes.size());
    Kept kept{LinkedPdf::linksOf(bytes), {}, {}, {}};
    for (QPDFObjectHandle page : pdf.getAllPages()) {
        auto annots = page.getKey("/Annots");
        for (int i = 0; annots.isArray() && i < annots.getArrayNItems(); ++i) {
            auto rect = annots.getArrayItem(i).getKey("/Rect").getArrayAsRectangle();
            kept.rects.push_back({rect.llx, rect.lly, rect.urx, rect.ury});
        }
    }
    auto info = pdf.getTrailer().getKey("/Info");
    kept.info = info.isDictionary() ? info.unparseResolved() : "";
    auto metadata = pdf.getRoot().getKey("/Metadata");
    if (metadata.isStream()) {
        const auto data = metadata.getStreamData();
        kept.metadata.assign(reinterpret_cast<const char*>(data->getBuffer()), data->getSize());
    }
    return kept;
}

// Whether a word of that text, as found on the result's page (origin top-left), has its
// centre inside the rectangle (origin bottom-left).
bool over(const std::array<double, 4>& rect, const std::string& text,
          const std::vector<Word>& found, double pageHeight) {
    return std::any_of(found.begin(), found.end(), [&](const Word& word) {
        const double x = (word.left + word.right) / 2;
        const double y = pageHeight - (word.top + word.bottom) / 2;
        return word.text == text && rect[0] - 2 <= x && x <= rect[2] + 2 && rect[1] - 2 <= y &&
               y <= rect[3] + 2;
    });
}

} // namespace

TEST_F(SearchableStructureTest, KeepsBookmarksLinksAndInformationOnlyWhenAsked) {
    const TextPages::Page page = TextPages::paragraph(200, kHeight);
    const auto words = TextPages::words(TextPages::pdf({page, page}));
    const Bytes pdf = source(words);
    const auto kept = SearchablePDF::makeSearchable(pdf, 2, one(), {}, {}, {true});
    const auto plain = SearchablePDF::makeSearchable(pdf, 2, one());
    ASSERT_TRUE(kept && plain);

    EXPECT_EQ(OutlinePdf::outlineOf(*kept),
              (std::vector<OutlinePdf::Found>{{0, "One", 1, true}, {1, "Two", 2, false}}));
    const Kept found = keptIn(*kept);
    ASSERT_EQ(found.links.size(), 3u);
    EXPECT_EQ(found.links[0], (LinkedPdf::FoundLink{1, false, 2, found.links[0].targetOrigin}));
    EXPECT_TRUE(found.links[1].web);
    EXPECT_EQ(found.links[2], (LinkedPdf::FoundLink{2, false, 1, found.links[2].targetOrigin}));
    // Over the same words on the new pages, the second of which was turned upright.
    const auto read = TextPages::words(*kept);
    EXPECT_TRUE(over(found.rects[0], words[0][0].text, read[0], 2 * kHeight));
    EXPECT_TRUE(over(found.rects[1], words[0][4].text, read[0], 2 * kHeight));
    EXPECT_TRUE(over(found.rects[2], words[1][0].text, read[1], 2 * kHeight));
    EXPECT_EQ(found.info, "<< /Author (A. Writer) /Title (Keep me) >>");
    EXPECT_EQ(found.metadata, kXmp);

    const Kept none = keptIn(*plain);
    EXPECT_TRUE(none.links.empty() && none.info.empty() && none.metadata.empty());
    EXPECT_TRUE(OutlinePdf::outlineOf(*plain).empty());
}

// An outline that loops back on itself, thousands of links (half leading nowhere), and
// information entries and metadata of the wrong kinds cost neither a page nor what is sound.
TEST_F(SearchableStructureTest, DamagedStructureIsLeftOutWithoutCostingAPage) {
    const Bytes pdf = OutlinePdf::edited(LinkedPdf::make(2), [](QPDF& pdf) {
        auto pages = pdf.getAllPages();
        auto annots = QPDFObjectHandle::newArray();
        for (int i = 0; i < 3000; ++i)
            annots.appendItem(pdf.makeIndirectObject(QPDFObjectHandle::parse(
                &pdf, "<< /Subtype /Link /Rect [0 0 10 10] /Dest " +
                          (i % 2 ? std::string("(nowhere)") : "[" + pages[1].unparse() + " /Fit]") +
                          " >>")));
        pages[0].replaceKey("/Annots", annots);
        auto loop = item(pdf, "Loop", "[" + pages[1].unparse() + " /Fit]");
        loop.replaceKey("/Next", loop);
        loop.replaceKey("/First", loop);
        pdf.getRoot().replaceKey(
            "/Outlines", QPDFObjectHandle::parse(&pdf, "<< /First " + loop.unparse() + " >>"));
        pdf.getTrailer().replaceKey("/Info", pdf.makeIndirectObject(QPDFObjectHandle::parse(
                                                 "<< /Title [1 2] /Keywords 5 /Subject (ok) >>")));
        pdf.getRoot().replaceKey("/Metadata", QPDFObjectHandle::newArray());
    });
    const auto kept = SearchablePDF::makeSearchable(pdf, 2, one(), {}, {}, {true});
    ASSERT_TRUE(kept);
    EXPECT_EQ(TextPages::words(*kept).size(), 2u);
    const Kept found = keptIn(*kept);
    EXPECT_EQ(found.links.size(), 1500u);
    EXPECT_EQ(OutlinePdf::outlineOf(*kept).front(), (OutlinePdf::Found{0, "Loop", 2, false}));
    EXPECT_EQ(found.info, "<< /Subject (ok) >>");
    EXPECT_TRUE(found.metadata.empty());
}
