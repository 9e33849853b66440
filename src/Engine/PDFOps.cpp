// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/PDFOps.h"

#include <algorithm>

namespace PDFOps {
namespace {

// A page that is absent or cannot be copied is skipped: appendPageCopy leaves the output as it
// was when it fails.
void appendPages(PdfDocument& output, const PdfDocument& source, std::int64_t firstIndex,
                 std::int64_t lastIndex) {
    for (std::int64_t index = firstIndex; index <= lastIndex; ++index)
        output.appendPageCopy(source, static_cast<int>(index));
}

// The links are repaired once all pages are in, so that a link may point forwards.
std::optional<PdfDocument> finished(PdfDocument output) {
    if (output.pageCount() < 1)
        return std::nullopt;
    output.repairLinks();
    return output;
}

} // namespace

std::optional<PdfDocument> merge(const std::vector<std::filesystem::path>& files) {
    return merge(files.size(),
                 [&](std::size_t index) { return PdfDocument::openFile(files[index]); });
}

std::optional<PdfDocument> merge(std::size_t count, const SourceOpener& open) {
    auto output = PdfDocument::createEmpty();
    for (std::size_t index = 0; index < count; ++index) {
        // The output keeps what it needs of each source once its pages are copied.
        const auto source = open(index);
        if (source)
            appendPages(output, *source, 0, source->pageCount() - 1);
    }
    return finished(std::move(output));
}

std::vector<PdfDocument> split(const PdfDocument& document, std::int64_t every) {
    std::vector<PdfDocument> chunks;
    splitEach(document, every, [&](PdfDocument&& chunk) {
        chunks.push_back(std::move(chunk));
        return true;
    });
    return chunks;
}

void splitEach(const PdfDocument& document, std::int64_t every,
               const std::function<bool(PdfDocument&& chunk)>& chunk) {
    const std::int64_t pageCount = document.pageCount();
    if (every < 1 || pageCount < 1)
        return;
    for (std::int64_t start = 1;;) {
        // start + every - 1 would overflow for `every` near the 64-bit maximum.
        const std::int64_t end = every > pageCount - start ? pageCount : start + every - 1;
        // A chunk none of whose pages could be copied is left out, without a placeholder.
        if (auto built = extract(document, {start, end}); built && !chunk(std::move(*built)))
            return;
        if (end >= pageCount)
            return;
        start = end + 1;
    }
}

std::optional<PdfDocument> extract(const PdfDocument& document, PageRange pages) {
    // Page numbers outside 1 … page count name no page: the range is cut to the document
    // instead of stepping through them.
    const std::int64_t first = std::max<std::int64_t>(pages.lower, 1);
    const std::int64_t last = std::min<std::int64_t>(pages.upper, document.pageCount());
    auto output = PdfDocument::createEmpty();
    if (first <= last)
        appendPages(output, document, first - 1, last - 1);
    return finished(std::move(output));
}

} // namespace PDFOps
