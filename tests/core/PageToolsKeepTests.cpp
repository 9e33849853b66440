// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/PDFOps.h"
#include "support/OutlinePdf.h"
#include "support/Synth.h"

#include <gtest/gtest.h>

namespace {

using namespace OutlinePdf;
using Fields = std::vector<FoundField>;
using Items = std::vector<Found>;
using Labels = std::vector<std::string>;

// Six pages: an outline of every destination form, nested three deep, with a web link and a
// name that leads nowhere; roman then prefixed page labels; a form of every field kind, with
// and without appearances, one field under a parent, /NeedAppearances set.
Bytes sourceA() {
    return make(
        {6,
         {{"Ch1",
           1,
           Dest::explicitArray,
           true,
           {{"S1.1", 2, Dest::named}, {"S1.2", 3, Dest::goToNamed}}},
          {"Ch2", 4, Dest::goTo, false, {{"S2.1", 5, Dest::oldStyleName, true, {{"Deep", 6}}}}},
          {"Web", 0, Dest::uri},
          {"Lost", 0, Dest::dangling}},
         {{0, "<< /S /r >>"}, {2, "<< /S /D /P (A-) >>"}},
         {{FieldKind::text, "name", "Ann", 1},
          {FieldKind::checkBox, "agree", "Yes", 2},
          {FieldKind::choice, "colour", "green", 3, false},
          {FieldKind::text, "street", "Main", 4, false, "addr"}},
         true});
}

// Three pages without outline or labels, whose one field clashes with A's.
Bytes sourceB() {
    return make({3, {}, {}, {{FieldKind::text, "name", "Bob", 1}}, false});
}

// Two pages whose last top-level item leads back to the first.
Bytes sourceC() {
    return edited(make({2, {{"One", 1}, {"Two", 2, Dest::named}}, {}, {}, false}), [](QPDF& pdf) {
        auto outlines = pdf.getRoot().getKey("/Outlines");
        outlines.getKey("/Last").replaceKey("/Next", outlines.getKey("/First"));
    });
}

const Fields kFieldsOfA{
    {"name", "Ann", 1}, {"agree", "Yes", 2}, {"colour", "green", 3}, {"addr.street", "Main", 4}};
const Items kOutlineOfA{{0, "Ch1", 1, true},  {1, "S1.1", 2, false}, {1, "S1.2", 3, false},
                        {0, "Ch2", 4, false}, {1, "S2.1", 5, true},  {2, "Deep", 6, false},
                        {0, "Web", -1, false}};
const Labels kLabelsOfA{"i", "ii", "A-1", "A-2", "A-3", "A-4"};

Items shifted(Items items, int depth, int pages) {
    for (auto& item : items) {
        item.depth += depth;
        item.page += item.page > 0 ? pages : 0;
    }
    return items;
}

template <typename T> std::vector<T> joined(std::vector<T> a, const std::vector<T>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Case {
    const char* name;
    std::function<std::optional<PdfDocument>(const std::filesystem::path& dir, bool keep)> run;
    bool keepBookmarks;
    Items outline;
    Labels labels;
    Fields fields;
    bool needAppearances = true; // A's flag, wherever one of A's fields goes
};

std::optional<PdfDocument> mergeOf(const std::filesystem::path& dir, bool keep,
                                   std::vector<const char*> names) {
    std::vector<std::filesystem::path> files;
    for (const char* name : names)
        files.push_back(dir / name);
    return PDFOps::merge(files, {keep});
}

std::optional<PdfDocument> chunkOf(const std::filesystem::path& file, bool keep, int every,
                                   std::size_t k) {
    auto chunks = PDFOps::split(PdfDocument::openFile(file).value(), every, {keep});
    return k < chunks.size() ? std::optional(std::move(chunks[k])) : std::nullopt;
}

std::optional<PdfDocument> extractOf(const std::filesystem::path& file, bool keep,
                                     PDFOps::PageRange range) {
    return PDFOps::extract(PdfDocument::openFile(file).value(), range, {keep});
}

TEST(PageToolsKeep, OutlinesLabelsAndFieldsFollowThePagesTaken) {
    Synth::TempDir dir;
    Synth::writeFile(dir / "A.pdf", sourceA());
    Synth::writeFile(dir / "B.pdf", sourceB());
    Synth::writeFile(dir / "C.x.pdf", sourceC());
    const Fields mergedFields = joined(kFieldsOfA, {{"name_2", "Bob", 7}});
    const Items mergedAB =
        joined(joined({{0, "A", 1, false}}, shifted(kOutlineOfA, 1, 0)), {{0, "B", 7, false}});
    const Case cases[] = {
        {"merge, option off: fields only",
         [](auto d, bool k) {
             return mergeOf(d, k, {"A.pdf", "B.pdf"});
         },
         false,
         {},
         {},
         mergedFields},
        {"merge two",
         [](auto d, bool k) {
             return mergeOf(d, k, {"A.pdf", "B.pdf"});
         },
         true, mergedAB, joined(kLabelsOfA, {"1", "2", "3"}), mergedFields},
        {"merge three, one with a cyclic outline",
         [](auto d, bool k) {
             return mergeOf(d, k, {"A.pdf", "B.pdf", "C.x.pdf"});
         },
         true,
         joined(mergedAB, {{0, "C.x", 10, false}, {1, "One", 10, false}, {1, "Two", 11, false}}),
         joined(kLabelsOfA, {"1", "2", "3", "1", "2"}), mergedFields},
        {"the same file twice",
         [](auto d, bool k) {
             return mergeOf(d, k, {"B.pdf", "B.pdf"});
         },
         true,
         {{0, "B", 1, false}, {0, "B", 4, false}},
         {},
         {{"name", "Bob", 1}, {"name_2", "Bob", 4}},
         false},
        {"extract the middle: items outside dropped, children moved up",
         [](auto d, bool k) {
             return extractOf(d / "A.pdf", k, {3, 5});
         },
         true,
         {{0, "S1.2", 1, false},
          {0, "Ch2", 2, false},
          {1, "S2.1", 3, false},
          {0, "Web", -1, false}},
         {"A-1", "A-2", "A-3"},
         {{"colour", "green", 1}, {"addr.street", "Main", 2}}},
        {"extract, option off",
         [](auto d, bool k) {
             return extractOf(d / "A.pdf", k, {3, 5});
         },
         false,
         {},
         {},
         {{"colour", "green", 1}, {"addr.street", "Main", 2}}},
        {"second chunk of a split",
         [](auto d, bool k) { return chunkOf(d / "A.pdf", k, 3, 1); },
         true,
         {{0, "Ch2", 1, false}, {1, "S2.1", 2, true}, {2, "Deep", 3, false}, {0, "Web", -1, false}},
         {"A-2", "A-3", "A-4"},
         {{"addr.street", "Main", 1}}},
        {"first chunk, option off",
         [](auto d, bool k) { return chunkOf(d / "A.pdf", k, 3, 0); },
         false,
         {},
         {},
         {{"name", "Ann", 1}, {"agree", "Yes", 2}, {"colour", "green", 3}}},
        {"a cyclic outline, extracted",
         [](auto d, bool k) {
             return extractOf(d / "C.x.pdf", k, {1, 2});
         },
         true,
         {{0, "One", 1, false}, {0, "Two", 2, false}},
         {},
         {},
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto result = c.run(dir.path(), c.keepBookmarks);
        ASSERT_TRUE(result);
        const auto bytes = result->writeBytes().value();
        EXPECT_EQ(outlineOf(bytes), c.outline);
        EXPECT_EQ(labelsOf(bytes), c.labels);
        const auto form = formOf(bytes);
        EXPECT_EQ(form.fields, c.fields);
        EXPECT_EQ(form.orphanWidgets, 0);
        EXPECT_EQ(form.needAppearances, c.needAppearances);
    }
}

} // namespace

namespace {

TEST(PageToolsKeep, SplitAtBookmarksRangesAndNames) {
    // Out of page order, two on page 3, one dangling, a title that needs UTF-16.
    const auto unordered = make({8,
                                 {{"Late", 6, Dest::goToNamed},
                                  {"Intro", 3},
                                  {"Capítulo ✓", 3, Dest::named, false, {{"Kid", 1}}},
                                  {"Gone", 0, Dest::dangling},
                                  {"Web", 0, Dest::uri}},
                                 {},
                                 {},
                                 false});
    using Parts = std::vector<PDFOps::BookmarkPart>;
    const std::pair<Bytes, Parts> cases[] = {
        {sourceA(), {{{1, 3}, "Ch1"}, {{4, 6}, "Ch2"}}},
        {unordered, {{{1, 5}, "Capítulo ✓"}, {{6, 8}, "Late"}}},
        {sourceC(), {{{1, 1}, "One"}, {{2, 2}, "Two"}}},
        {sourceB(), {}},
    };
    for (const auto& [bytes, parts] : cases)
        EXPECT_EQ(PDFOps::bookmarkParts(PdfDocument::openBytes(bytes).value()), parts);

    const std::string e80(160, '\0');
    std::string accents;
    for (int i = 0; i < 90; ++i)
        accents += "é";
    const struct {
        std::string title;
        std::size_t position;
        std::string name;
    } names[] = {
        {"Ch1", 1, "r-Ch1.pdf"},
        {" a/b\tc\x01\x7f\xc2\x85 d ", 2, "r-a-bc d.pdf"},
        {" \t\xc2\xa0\xe3\x80\x80 ", 3, "r-part 3.pdf"},
        {"", 4, "r-part 4.pdf"},
        {"../..", 5, "r-..-...pdf"},
        {accents, 1, "r-" + accents.substr(0, 160) + ".pdf"},
        {std::string(79, 'x') + " yz", 1, "r-" + std::string(79, 'x') + ".pdf"},
    };
    for (const auto& n : names)
        EXPECT_EQ(PDFOps::bookmarkPartFileName("r", n.title, n.position), n.name) << n.title;
}

// Damage that must cost neither a page nor the readable items: cycles through /First and
// /Next, nesting without end, thousands of siblings, missing titles, a field among its kids.
TEST(PageToolsKeep, DamagedOutlinesAndFormsNeverHangOrLosePages) {
    const auto base = make({3,
                            {{"One", 1, Dest::explicitArray, true, {{"Child", 2}}}, {"Two", 3}},
                            {},
                            {{FieldKind::text, "t", "v", 1, true, "p"}},
                            false});
    const auto damaged = edited(base, [](QPDF& pdf) {
        auto root = pdf.getRoot().getKey("/Outlines");
        auto one = root.getKey("/First");
        one.getKey("/First").replaceKey("/Next", one); // the child leads back to its parent
        one.getKey("/First").removeKey("/Title");
        auto last = root.getKey("/Last");
        for (int i = 0; i < 3000; ++i) { // siblings, each nesting a chain 200 deep
            auto item = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Title (s) >>"));
            item.replaceKey("/Dest",
                            QPDFObjectHandle::newArray(
                                {pdf.getAllPages()[2], QPDFObjectHandle::newName("/Fit")}));
            if (i == 0)
                for (auto [parent, d] = std::pair(item, 0); d < 200; ++d) {
                    auto kid = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Title (d) >>"));
                    kid.replaceKey("/Dest", item.getKey("/Dest"));
                    parent.replaceKey("/First", kid);
                    parent = kid;
                }
            last.replaceKey("/Next", item);
            last = item;
        }
        last.replaceKey("/Next", root.getKey("/First"));
        auto field = pdf.getRoot().getKey("/AcroForm").getKey("/Fields").getArrayItem(0);
        field.getKey("/Kids").appendItem(field);
    });
    const auto source = PdfDocument::openBytes(damaged);
    ASSERT_TRUE(source);
    const auto result = PDFOps::extract(*source, {1, 3}, {true});
    ASSERT_TRUE(result);
    EXPECT_EQ(result->pageCount(), 3);
    const auto outline = outlineOf(result->writeBytes().value());
    ASSERT_GT(outline.size(), 3002u);
    EXPECT_LT(outline.size(), 3002u + 80u); // the chain is cut, not followed to its end
    EXPECT_EQ(outline[1], (Found{1, "", 2, false}));
    const auto form = formOf(result->writeBytes().value());
    ASSERT_FALSE(form.fields.empty());
    EXPECT_EQ(form.fields[0], (FoundField{"p.t", "v", 1}));
    EXPECT_EQ(form.orphanWidgets, 0);
    EXPECT_EQ(PDFOps::bookmarkParts(*source).size(), 2u);
}

} // namespace
