// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/PDFOps.h"

// Placeholder until the page operations are written.
namespace PDFOps {

std::optional<PdfDocument> merge(const std::vector<std::filesystem::path>&) {
    return std::nullopt;
}

std::vector<PdfDocument> split(const PdfDocument&, std::int64_t) {
    return {};
}

std::optional<PdfDocument> extract(const PdfDocument&, PageRange) {
    return std::nullopt;
}

} // namespace PDFOps
