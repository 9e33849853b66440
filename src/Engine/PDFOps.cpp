// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/PDFOps.h"

#include "Engine/OrderedPipeline.h"

#include <algorithm>
#include <new>

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
std::optional<PdfDocument> finished(PdfDocument output, Options options) {
    if (output.pageCount() < 1)
        return std::nullopt;
    output.repairLinks();
    if (options.keepBookmarks)
        output.keepPageLabels();
    return output;
}

// The code point of the UTF-8 sequence at text[at] and its length in bytes; a byte that
// starts no valid sequence reads as one byte with no code point.
std::pair<std::optional<char32_t>, std::size_t> decodeAt(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead < 0x80         ? 1
                               : lead >> 5 == 0x6  ? 2
                               : lead >> 4 == 0xE  ? 3
                               : lead >> 3 == 0x1E ? 4
                                                   : 0;
    if (length == 0 || at + length > text.size())
        return {std::nullopt, 1};
    char32_t point = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[at + i]);
        if (next >> 6 != 0x2)
            return {std::nullopt, 1};
        point = (point << 6) | (next & 0x3F);
    }
    return {point, length};
}

bool isControl(char32_t point) {
    return point < 0x20 || (point >= 0x7F && point <= 0x9F);
}

// Unicode's White_Space characters that are not control characters.
bool isSpace(char32_t point) {
    return point == 0x20 || point == 0xA0 || point == 0x1680 ||
           (point >= 0x2000 && point <= 0x200A) || point == 0x2028 || point == 0x2029 ||
           point == 0x202F || point == 0x205F || point == 0x3000;
}

} // namespace

std::string bookmarkPartFileName(std::string_view baseName, std::string_view title,
                                 std::size_t position) {
    constexpr std::size_t kMaxCharacters = 80;
    // Characters kept, each with its bytes, after "/" is replaced and controls removed.
    std::vector<std::pair<char32_t, std::string_view>> kept;
    for (std::size_t at = 0; at < title.size();) {
        const auto [point, length] = decodeAt(title, at);
        if (point && !isControl(*point))
            kept.emplace_back(*point,
                              *point == U'/' ? std::string_view("-") : title.substr(at, length));
        at += length;
    }
    auto first = std::find_if(kept.begin(), kept.end(), [](auto& c) { return !isSpace(c.first); });
    auto last = std::find_if(kept.rbegin(), std::make_reverse_iterator(first), [](auto& c) {
                    return !isSpace(c.first);
                }).base();
    if (last - first > static_cast<std::ptrdiff_t>(kMaxCharacters))
        last = first + kMaxCharacters;
    while (last != first && isSpace((last - 1)->first))
        --last;
    std::string safe;
    for (auto c = first; c != last; ++c)
        safe += c->second;
    if (safe.empty())
        safe = "part " + std::to_string(position);
    return std::string(baseName) + "-" + safe + ".pdf";
}

std::optional<PdfDocument> merge(const std::vector<std::filesystem::path>& files, Options options) {
    std::vector<std::string> titles;
    for (const auto& file : files)
        titles.push_back(file.stem().string());
    return merge(
        files.size(), [&](std::size_t index) { return PdfDocument::openFile(files[index]); },
        options, titles);
}

std::optional<PdfDocument> merge(std::size_t count, const SourceOpener& open, Options options,
                                 const std::vector<std::string>& titles) {
    auto output = PdfDocument::createEmpty();
    for (std::size_t index = 0; index < count; ++index) {
        // The output keeps what it needs of each source once its pages are copied.
        const auto source = open(index);
        if (!source)
            continue;
        appendPages(output, *source, 0, source->pageCount() - 1);
        // Each source's items point only at its own pages, all of them copied by now.
        if (options.keepBookmarks)
            output.appendOutline(*source, index < titles.size() ? titles[index] : std::string());
    }
    return finished(std::move(output), options);
}

std::vector<PdfDocument> split(const PdfDocument& document, std::int64_t every, Options options) {
    std::vector<PdfDocument> chunks;
    splitEach(
        document, every,
        [&](PdfDocument&& chunk) {
            chunks.push_back(std::move(chunk));
            return true;
        },
        options);
    return chunks;
}

std::vector<PageRange> splitRanges(std::int64_t pageCount, std::int64_t every) {
    std::vector<PageRange> ranges;
    for (std::int64_t start = 1; every >= 1 && start <= pageCount;) {
        // start + every - 1 would overflow for `every` near the 64-bit maximum.
        const std::int64_t end = every > pageCount - start ? pageCount : start + every - 1;
        ranges.push_back({start, end});
        start = end + 1;
    }
    return ranges;
}

void splitEach(const PdfDocument& document, std::int64_t every,
               const std::function<bool(PdfDocument&& chunk)>& chunk, Options options) {
    for (const PageRange& range : splitRanges(document.pageCount(), every)) {
        // A chunk none of whose pages could be copied is left out, without a placeholder.
        if (auto built = extract(document, range, options); built && !chunk(std::move(*built)))
            return;
    }
}

SourceCopies::SourceCopies(const PdfDocument& document, int threads)
    : m_document(document), m_copies(static_cast<std::size_t>(std::max(threads, 1))),
      m_tried(m_copies.size(), 0) {}

void SourceCopies::prepare(int thread) {
    const auto at = static_cast<std::size_t>(thread);
    if (thread <= 0 || at >= m_copies.size() || m_tried[at])
        return;
    m_tried[at] = 1;
    try {
        m_copies[at] = m_document.reopened();
    } catch (const std::bad_alloc&) {
        // Without a copy the thread shares the document.
    }
}

void SourceCopies::use(int thread, const std::function<void(const PdfDocument& source)>& read) {
    const auto at = static_cast<std::size_t>(thread);
    if (thread > 0 && at < m_copies.size()) {
        prepare(thread);
        if (m_copies[at]) {
            read(*m_copies[at]);
            return;
        }
    }
    const std::lock_guard lock(m_documentMutex);
    read(m_document);
}

void extractEach(SourceCopies& sources, const std::vector<PageRange>& ranges,
                 const std::function<bool(std::size_t index, WrittenPart&& part)>& part,
                 Options options) {
    // A part is absent for a range that gives no document; outOfMemory marks one that ran out.
    struct Made {
        std::optional<WrittenPart> part;
        bool outOfMemory = false;
    };
    const auto make = [&](int index, int thread) {
        Made made;
        try {
            sources.use(thread, [&](const PdfDocument& source) {
                if (auto built = extract(source, ranges[static_cast<std::size_t>(index)], options))
                    made.part = WrittenPart{built->writeBytes(), built->pageCount()};
            });
        } catch (const std::bad_alloc&) {
            made = {std::nullopt, true};
        }
        return made;
    };
    bool outOfMemory = false;
    const auto take = [&](int index, Made&& made) {
        outOfMemory = made.outOfMemory;
        return !outOfMemory &&
               (!made.part || part(static_cast<std::size_t>(index), std::move(*made.part)));
    };
    runOrdered<Made>(static_cast<int>(ranges.size()), sources.threads(), 2 * sources.threads(), {},
                     make, take, [&](int thread) { sources.prepare(thread); });
    if (outOfMemory)
        throw std::bad_alloc();
}

std::optional<PdfDocument> extract(const PdfDocument& document, PageRange pages, Options options) {
    // Page numbers outside 1 … page count name no page: the range is cut to the document
    // instead of stepping through them.
    const std::int64_t first = std::max<std::int64_t>(pages.lower, 1);
    const std::int64_t last = std::min<std::int64_t>(pages.upper, document.pageCount());
    auto output = PdfDocument::createEmpty();
    if (first <= last)
        appendPages(output, document, first - 1, last - 1);
    if (options.keepBookmarks)
        output.appendOutline(document);
    return finished(std::move(output), options);
}

std::vector<BookmarkPart> bookmarkParts(const PdfDocument& document) {
    auto bookmarks = document.topLevelBookmarks();
    // Stable: of several bookmarks on one page, the last in outline order names the part.
    std::stable_sort(bookmarks.begin(), bookmarks.end(),
                     [](const auto& a, const auto& b) { return a.pageIndex < b.pageIndex; });
    std::vector<BookmarkPart> parts;
    for (const auto& bookmark : bookmarks) {
        const std::int64_t page = bookmark.pageIndex + 1;
        if (!parts.empty() && parts.back().pages.lower == page) {
            parts.back().title = bookmark.title;
            continue;
        }
        if (!parts.empty())
            parts.back().pages.upper = page - 1;
        parts.push_back({{page, document.pageCount()}, bookmark.title});
    }
    if (!parts.empty())
        parts.front().pages.lower = 1;
    return parts;
}

} // namespace PDFOps
