// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/PdfDocument.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// New PDF documents made of page copies of existing ones. Results start empty and receive
/// their pages (with content, resources and annotations) and the form fields of those pages
/// (values, defaults and /NeedAppearances kept; a field name that a merge would hold twice
/// gets a suffix, name_2); sources and their files are never changed. A link between two
/// pages of a result keeps working; a link to a page that is not in the result is removed;
/// web links stay.
///
/// Stateless and synchronous; a source document is used by one call at a time. Nothing throws:
/// absent results and empty lists are the only failure signals.
namespace PDFOps {

/// Inclusive 1-based page numbers, lower ≤ upper.
struct PageRange {
    std::int64_t lower = 1;
    std::int64_t upper = 1;
    friend bool operator==(const PageRange&, const PageRange&) = default;
};

struct Options {
    /// Carry the sources' bookmarks and page labels onto the pages taken: an item whose page
    /// is not taken is dropped and its children move up into its place. A merge puts each
    /// input's bookmarks under one new bookmark per input (see merge()).
    bool keepBookmarks = false;
};

/// The pages of every readable file, in order (unreadable files are skipped; a file given
/// twice is merged twice). Absent when no page results. Bookmarks, when kept, are titled
/// with each file's name without its last extension.
std::optional<PdfDocument> merge(const std::vector<std::filesystem::path>& files,
                                 Options options = {});

/// Opens the source at an index of a merge; absent for one that cannot be read.
using SourceOpener = std::function<std::optional<PdfDocument>(std::size_t index)>;

/// merge() of `count` sources opened one at a time, in index order, by `open` (each is
/// released once its pages are copied). With keepBookmarks, each source that gave pages gets
/// one closed top-level bookmark, titled titles[index] (UTF-8; empty when missing), showing
/// its first page, with its own bookmarks beneath; page labels follow each source's pages
/// (a source without labels keeps its own numbers 1, 2, …).
std::optional<PdfDocument> merge(std::size_t count, const SourceOpener& open, Options options = {},
                                 const std::vector<std::string>& titles = {});

/// Chunks of `every` consecutive pages, built like extractions, in page order (the last holds
/// what remains). Empty when every < 1 or the document has no pages.
std::vector<PdfDocument> split(const PdfDocument& document, std::int64_t every,
                               Options options = {});

/// split(), handing over each chunk as soon as it is built instead of holding them all: a
/// caller that writes and drops each chunk keeps one chunk in memory, not the whole split
/// (for a 2,415-page manual every 10, about 290 MB less and a fifth less time). `chunk`
/// runs on the calling thread, in page order, once per chunk split() would list; returning
/// false stops before the next chunk is built.
void splitEach(const PdfDocument& document, std::int64_t every,
               const std::function<bool(PdfDocument&& chunk)>& chunk, Options options = {});

/// The page ranges of split()'s chunks, in order: `every` pages each, the last holding what
/// remains. Empty when every < 1 or pageCount < 1.
std::vector<PageRange> splitRanges(std::int64_t pageCount, std::int64_t every);

/// A document and, for each further thread that works on it, a copy opened again from the
/// same bytes (PdfDocument::reopened), made by that thread when it first needs one: QPDF
/// documents are never shared between threads. A thread whose copy cannot be made (the
/// document was changed since it was opened) uses the document, one thread at a time. The
/// copies last as long as this object, so a caller can let them go once it has answered.
class SourceCopies {
public:
    SourceCopies(const PdfDocument& document, int threads);
    int threads() const { return static_cast<int>(m_copies.size()); }
    /// Makes thread `thread`'s copy now, on that thread, if it has none yet.
    void prepare(int thread);
    /// The document for thread `thread` (in [0, threads())) to read, under a lock when it is
    /// the shared one.
    void use(int thread, const std::function<void(const PdfDocument& source)>& read);

private:
    const PdfDocument& m_document;
    std::mutex m_documentMutex;
    std::vector<std::optional<PdfDocument>> m_copies;
    std::vector<char> m_tried; // per thread; not vector<bool>, whose elements share bytes
};

/// What one extraction of extractEach() gives.
struct WrittenPart {
    std::optional<Bytes> bytes; // PdfDocument::writeBytes(); absent when that failed
    int pageCount = 0;
};

/// extract() of each range, each document written as soon as it is built, on the threads of
/// `sources`: `part` gets them on the calling thread, in range order, with their index in
/// `ranges`, leaving out ranges that give no document; returning false stops before the
/// next is handed over. The bytes are those of writeBytes() of extract()'s documents, whatever
/// the thread count. At most two parts per thread are made ahead of the one handed over, so
/// memory stays flat however many ranges there are. Throws std::bad_alloc, once the threads
/// are done, when memory ran out for a part (which is then not handed over).
void extractEach(SourceCopies& sources, const std::vector<PageRange>& ranges,
                 const std::function<bool(std::size_t index, WrittenPart&& part)>& part,
                 Options options = {});

/// Pages max(lower, 1) … min(upper, page count), in order. Absent when none of them exists.
std::optional<PdfDocument> extract(const PdfDocument& document, PageRange pages,
                                   Options options = {});

/// One part of a split at bookmarks.
struct BookmarkPart {
    PageRange pages;
    std::string title; // UTF-8, as the bookmark has it
    friend bool operator==(const BookmarkPart&, const BookmarkPart&) = default;
};

/// One part per top-level bookmark that leads to a page of the document: from its page to
/// the page before the next part's, the last to the end; pages before the first bookmark go
/// with the first part. Bookmarks are taken in page order (viewers list them as written, but
/// a part is a run of pages); several on one page make one part with the last one's title.
/// Empty when the document has no bookmark that leads to one of its pages.
std::vector<BookmarkPart> bookmarkParts(const PdfDocument& document);

/// "<baseName>-<title>.pdf" for a part of a split at bookmarks, with the title made safe for
/// a file name: "/" becomes "-", control characters go, white space is trimmed from both
/// ends, and at most 80 characters (code points; a UTF-8 sequence is never cut) are kept. A
/// title left blank becomes "part <position>" (1-based). Equal titles give equal names: the
/// caller makes them unique.
std::string bookmarkPartFileName(std::string_view baseName, std::string_view title,
                                 std::size_t position);

} // namespace PDFOps
