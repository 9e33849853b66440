// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/PageProgress.h"
#include "Platform/Bytes.h"

#include <cstdint>
#include <optional>

/// The last resort of KeepingPDFCompressor: every page drawn as a JPEG picture, rendered as
/// PDFCompressor renders it (1.5 pixels per point, one quality for all pages, the best that
/// fits), but into the page's own boxes, with the page's text (as Poppler extracts it) laid
/// over the picture as invisible, searchable text where it was shown, and everything else
/// about the document kept: annotations and links (live, not painted), outline, forms,
/// document information. Stateless; safe to call from several threads at once.
namespace KeepingPictures {

/// Absent when no quality fits `budgetBytes`, a page cannot be rendered, or the document
/// cannot be rebuilt.
std::optional<Bytes> compress(const Bytes& pdf, std::int64_t budgetBytes, int threads,
                              const PageProgress& progress);

} // namespace KeepingPictures
