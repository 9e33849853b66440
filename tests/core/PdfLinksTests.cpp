// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/PDFOps.h"
#include "LinkedPdf.h"
#include "Platform/PdfDocument.h"
#include "support/Corpus.h"
#include "support/Synth.h"

#include <gtest/gtest.h>
#include <qpdf/QPDFNameTreeObjectHelper.hh>
#include <set>

namespace {

using LinkedPdf::FoundLink;
using LinkedPdf::Kind;

FoundLink internal(int onPage, int targetPage, int targetOrigin) {
    return {onPage, false, targetPage, targetOrigin};
}

FoundLink web(int onPage) {
    return {onPage, true, 0, 0};
}

// Page 1 links forwards to 2 and 3, page 2 to 4, page 3 back to 1; page 4 holds a web link
// and one whose name leads nowhere.
Bytes fourPagesLinkedBy(Kind kind) {
    return LinkedPdf::make(4, {{1, {{kind, 2}, {kind, 3}}},
                               {2, {{kind, 4}}},
                               {3, {{kind, 1}}},
                               {4, {{Kind::uri}, {Kind::missingName}}}});
}

std::vector<FoundLink> linksOf(const PdfDocument& document) {
    const auto bytes = document.writeBytes();
    EXPECT_TRUE(bytes);
    return bytes ? LinkedPdf::linksOf(*bytes) : std::vector<FoundLink>{};
}

class PdfLinksByKind : public testing::TestWithParam<Kind> {};

TEST_P(PdfLinksByKind, ExtractKeepsLinksBetweenItsPagesOnly) {
    const auto source = PdfDocument::openBytes(fourPagesLinkedBy(GetParam()));
    ASSERT_TRUE(source);
    const auto result = PDFOps::extract(*source, {1, 3});
    ASSERT_TRUE(result);
    const std::vector<FoundLink> expected{internal(1, 2, 2), internal(1, 3, 3), internal(3, 1, 1)};
    EXPECT_EQ(linksOf(*result), expected);
}

TEST_P(PdfLinksByKind, SplitChunksKeepForwardLinksWithinAChunk) {
    const auto source = PdfDocument::openBytes(fourPagesLinkedBy(GetParam()));
    ASSERT_TRUE(source);
    const auto chunks = PDFOps::split(*source, 2);
    ASSERT_EQ(chunks.size(), 2u);
    // QPDF alone would leave page 1's link to page 2 null: page 2 is copied after it.
    EXPECT_EQ(linksOf(chunks[0]), std::vector<FoundLink>{internal(1, 2, 2)});
    EXPECT_EQ(linksOf(chunks[1]), std::vector<FoundLink>{web(2)});
}

TEST_P(PdfLinksByKind, MergedCopiesOfOneFileEachLinkWithinThemselves) {
    Synth::TempDir dir;
    Synth::writeFile(dir / "linked.pdf", fourPagesLinkedBy(GetParam()));
    const auto result = PDFOps::merge({dir / "linked.pdf", dir / "linked.pdf"});
    ASSERT_TRUE(result);
    std::vector<FoundLink> expected;
    for (int offset : {0, 4}) {
        expected.push_back(internal(1 + offset, 2 + offset, 2));
        expected.push_back(internal(1 + offset, 3 + offset, 3));
        expected.push_back(internal(2 + offset, 4 + offset, 4));
        expected.push_back(internal(3 + offset, 1 + offset, 1));
        expected.push_back(web(4 + offset));
    }
    EXPECT_EQ(linksOf(*result), expected);
}

INSTANTIATE_TEST_SUITE_P(AllDestinationForms, PdfLinksByKind,
                         testing::Values(Kind::explicitDest, Kind::explicitAction,
                                         Kind::namedString, Kind::namedAction, Kind::oldStyleName,
                                         Kind::pageNumber));

TEST(PdfLinks, SourceKeepsItsOwnLinksAndNames) {
    const Bytes bytes = fourPagesLinkedBy(Kind::namedString);
    const auto source = PdfDocument::openBytes(bytes);
    ASSERT_TRUE(source);
    const auto before = LinkedPdf::linksOf(bytes);
    ASSERT_TRUE(PDFOps::extract(*source, {2, 3}));
    ASSERT_EQ(PDFOps::split(*source, 1).size(), 4u);
    const auto after = linksOf(*source);
    EXPECT_EQ(after, before);
    // Names stay names in the source: the explicit arrays were made in the copies only.
    for (const auto& link : after)
        EXPECT_EQ(link.targetPage, 0);
}

TEST(PdfLinks, DuplicatedPageAndRepeatedRepairKeepLinks) {
    const auto source = PdfDocument::openBytes(fourPagesLinkedBy(Kind::namedAction));
    ASSERT_TRUE(source);
    auto output = PdfDocument::createEmpty();
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(output.appendPageCopy(*source, i));
    ASSERT_TRUE(output.appendPageCopy(output, 0)); // page 1 again, as page 4
    ASSERT_TRUE(output.repairLinks());
    const auto once = linksOf(output);
    ASSERT_TRUE(output.repairLinks());
    EXPECT_EQ(linksOf(output), once);
    const std::vector<FoundLink> expected{internal(1, 2, 2), internal(1, 3, 3), internal(3, 1, 1),
                                          internal(4, 2, 2), internal(4, 3, 3)};
    EXPECT_EQ(once, expected);
}

// A name tree whose node lists itself among its kids: the walk must end, the names read
// before the cycle still resolve.
TEST(PdfLinks, CyclicNameTreeEndsAndKeepsWhatItCanRead) {
    const Bytes bytes = fourPagesLinkedBy(Kind::namedString);
    QPDF pdf;
    pdf.processMemoryFile("linked", reinterpret_cast<const char*>(bytes.data()), bytes.size());
    auto tree = pdf.getRoot().getKey("/Names").getKey("/Dests");
    auto node = tree.isIndirect() ? tree : pdf.makeIndirectObject(tree);
    pdf.getRoot().getKey("/Names").replaceKey("/Dests", node);
    node.replaceKey("/Kids", QPDFObjectHandle::newArray({node}));
    const auto source = PdfDocument::openBytes(LinkedPdf::written(pdf));
    ASSERT_TRUE(source);
    const auto result = PDFOps::extract(*source, {1, 3});
    ASSERT_TRUE(result);
    const std::vector<FoundLink> expected{internal(1, 2, 2), internal(1, 3, 3), internal(3, 1, 1)};
    EXPECT_EQ(linksOf(*result), expected);
}

// --- the corpus's manual, full of named links --------------------------------------------

// The page index each internal link of source pages [first, last] leads to, resolved with
// QPDF's own name-tree lookup; web links counted apart.
struct SourceLinks {
    std::multiset<std::pair<int, int>> internalWithin; // (from, to) as 0-based offsets
    int internalLeaving = 0;
    int web = 0;
};

int sourcePageIndex(QPDF& pdf, QPDFObjectHandle destination) {
    if (destination.isString()) {
        auto tree = pdf.getRoot().getKey("/Names").getKey("/Dests");
        QPDFObjectHandle value;
        if (!tree.isDictionary() || !QPDFNameTreeObjectHelper(tree, pdf, false)
                                         .findObject(destination.getUTF8Value(), value))
            return -1;
        destination = value.isDictionary() ? value.getKey("/D") : value;
    }
    if (!destination.isArray() || destination.getArrayNItems() < 1)
        return -1;
    const auto& pages = pdf.getAllPages();
    const auto page = destination.getArrayItem(0);
    for (std::size_t i = 0; i < pages.size(); ++i)
        if (page.isIndirect() && pages[i].getObjGen() == page.getObjGen())
            return static_cast<int>(i);
    return -1;
}

SourceLinks sourceLinks(const std::filesystem::path& path, int first, int last) {
    QPDF pdf;
    pdf.processFile(path.string().c_str());
    SourceLinks links;
    for (int i = first; i <= last; ++i) {
        QPDFObjectHandle page = pdf.getAllPages().at(static_cast<std::size_t>(i));
        auto annots = page.getKey("/Annots");
        for (int a = 0; annots.isArray() && a < annots.getArrayNItems(); ++a) {
            auto annot = annots.getArrayItem(a);
            auto action = annot.getKey("/A");
            if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/URI")) {
                ++links.web;
                continue;
            }
            const int to = sourcePageIndex(pdf, annot.hasKey("/Dest") ? annot.getKey("/Dest")
                                                                      : action.getKey("/D"));
            if (to >= first && to <= last)
                links.internalWithin.insert({i - first, to - first});
            else if (annot.hasKey("/Dest") || action.getKey("/S").isNameAndEquals("/GoTo"))
                ++links.internalLeaving;
        }
    }
    return links;
}

TEST(PdfLinks, ManualExtractKeepsEveryLinkWithinTheRange) {
    PARVO_CORPUS_FILE(manual, "pdfs/r_fullrefman_2415p.pdf");
    constexpr int kFirst = 40; // 0-based: pages 41 … 100
    constexpr int kLast = 99;
    const auto expected = sourceLinks(manual, kFirst, kLast);
    // The range must exercise both sides of the rule.
    ASSERT_GT(expected.internalWithin.size(), 20u);
    ASSERT_GT(expected.internalLeaving, 20);

    const auto source = PdfDocument::openFile(manual);
    ASSERT_TRUE(source);
    const auto result = PDFOps::extract(*source, {kFirst + 1, kLast + 1});
    ASSERT_TRUE(result);
    std::multiset<std::pair<int, int>> internalWithin;
    int web = 0;
    for (const auto& link : linksOf(*result)) {
        if (link.web) {
            ++web;
            continue;
        }
        ASSERT_GT(link.targetPage, 0) << "dangling link on result page " << link.onPage;
        internalWithin.insert({link.onPage - 1, link.targetPage - 1});
    }
    EXPECT_EQ(internalWithin, expected.internalWithin);
    EXPECT_EQ(web, expected.web);
}

} // namespace
