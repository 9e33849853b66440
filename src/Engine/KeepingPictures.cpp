// SPDX-License-Identifier: GPL-3.0-or-later
//
// The pictures are PDFCompressor's, searched over the pages as they draw themselves (without
// their annotations, which stay live). The text layer and the kept structure cost the same at
// every picture quality: they are measured first, on the document rebuilt with text alone,
// and the pictures searched for the budget they leave.

#include "Engine/KeepingPictures.h"

#include "Engine/PDFCompressor.h"
#include "Engine/SearchablePage.h"
#include "Platform/PdfPagePictures.h"
#include "Platform/PdfWriter.h"

#include <algorithm>
#include <vector>

namespace KeepingPictures {
namespace {

// The scale PDFCompressor renders pages at in the compress pipeline (108 pixels per inch).
constexpr double kDpiScale = 1.5;

/// A word as SearchablePages draws a line: its box as the line's own, turned by the
/// direction it reads in about the corner where its baseline starts.
void drawWord(const PdfWord& word, PdfWriter& writer) {
    // A word Poppler gives a box too small to draw in (a glyph without extent, text set at a
    // tiny size) is still drawn, small, so that the page can still be searched for it.
    constexpr double kSmallestSide = 2;
    const double width = std::max(word.right - word.left, kSmallestSide);
    const double height = std::max(word.top - word.bottom, kSmallestSide);
    switch (word.quarterTurns) {
    case 1:
        SearchablePages::drawInvisible(word.text, {word.left, word.top, height, width}, writer,
                                       -90);
        break;
    case 2:
        SearchablePages::drawInvisible(word.text, {word.right, word.top, width, height}, writer,
                                       180);
        break;
    case 3:
        SearchablePages::drawInvisible(word.text, {word.right, word.bottom, height, width}, writer,
                                       90);
        break;
    default:
        SearchablePages::drawInvisible(word.text, {word.left, word.bottom, width, height}, writer);
        break;
    }
}

/// A document of upright pages as large as the source's pages are shown: each page's words
/// as invisible text, over its picture when `jpegs` are given.
std::optional<Bytes> draw(const std::vector<PdfPageText>& pages, const std::vector<Bytes>* jpegs) {
    PdfWriter writer;
    for (std::size_t index = 0; index < pages.size(); ++index) {
        const PageSize& size = pages[index].size;
        if (!writer.beginPage(size.widthPoints, size.heightPoints))
            return std::nullopt;
        if (jpegs && !writer.drawJpeg((*jpegs)[index], 0, 0, size.widthPoints, size.heightPoints))
            return std::nullopt;
        for (const PdfWord& word : pages[index].words)
            drawWord(word, writer);
        writer.endPage();
    }
    return writer.finish();
}

/// The pages rendered and searched by PDFCompressor for `budgetBytes`; absent unless that
/// fits.
std::optional<PDFCompressor::Compression> rendered(const Bytes& plain, std::int64_t budgetBytes,
                                                   int threads, const PageProgress& progress) {
    auto pictures = PDFCompressor::compressDetailed(plain, SizeTarget::custom(budgetBytes),
                                                    kDpiScale, threads, progress, true);
    if (!pictures || !pictures->rebuilt ||
        static_cast<std::int64_t>(pictures->bytes.size()) > budgetBytes)
        return std::nullopt;
    return pictures;
}

} // namespace

std::optional<Bytes> compress(const Bytes& pdf, std::int64_t budgetBytes, int threads,
                              const PageProgress& progress) {
    // Whether pictures alone could fit is known early — rendering stops as soon as the lowest
    // quality is over the budget — before anything is spent on a long document's text.
    if (!rendered(pdf, budgetBytes, threads, progress))
        return std::nullopt;
    const auto plain = PdfPagePictures::pagesOnly(pdf);
    const auto texts = plain ? PdfPagePictures::text(*plain) : std::nullopt;
    const auto textOnly = texts ? draw(*texts, nullptr) : std::nullopt;
    const auto kept = textOnly ? PdfPagePictures::replaceContents(pdf, *textOnly) : std::nullopt;
    if (!kept || static_cast<std::int64_t>(kept->size()) >= budgetBytes)
        return std::nullopt;
    const auto pictures =
        rendered(*plain, budgetBytes - static_cast<std::int64_t>(kept->size()), threads, {});
    const auto jpegs = pictures ? PdfPagePictures::pageJpegs(pictures->bytes) : std::nullopt;
    if (!jpegs || jpegs->size() != texts->size())
        return std::nullopt;
    const auto drawn = draw(*texts, &*jpegs);
    auto result = drawn ? PdfPagePictures::replaceContents(pdf, *drawn) : std::nullopt;
    if (!result || static_cast<std::int64_t>(result->size()) > budgetBytes)
        return std::nullopt;
    return result;
}

} // namespace KeepingPictures
