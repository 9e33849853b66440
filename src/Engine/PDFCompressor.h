// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/PageProgress.h"
#include "Engine/SizeTarget.h"
#include "Platform/Bytes.h"
#include "Platform/Image.h"
#include "Platform/PdfDocument.h"

#include <filesystem>
#include <optional>
#include <vector>

/// Shrinks a PDF by rasterising its pages and rebuilding it from JPEG page images at one
/// shared quality. Stateless; safe to call from several threads at once (each call uses its
/// own documents).
namespace PDFCompressor {

/// Every page rendered at dpiScale × its media box (as a viewer shows it), in page order.
/// Pages that cannot be rendered are left out. Holds every bitmap at once: for small
/// documents and tests; compress() keeps its pages compressed instead.
std::vector<Image> pageImages(const PdfDocument& document, double dpiScale);

/// A new PDF with one page per bitmap, each the JPEG of the bitmap at `quality` on a page
/// whose media box is the bitmap's pixel size in points. A page whose encoding fails is left
/// out. Absent for an empty list.
std::optional<Bytes> assemble(const std::vector<Image>& pages, double quality);

struct Compression {
    Bytes bytes;
    bool rebuilt = false; // false: `bytes` are the file's own
    double quality = 0;   // the quality of a rebuilt PDF
    int assemblies = 0;
};

/// The file's bytes when it fits the target already (it is not even opened then), has a page
/// that cannot be rendered or encoded, or when the rebuilt PDF is not strictly smaller;
/// otherwise the rebuilt PDF (6 bisection steps over qualities 0.05 … 1.0). Absent when the
/// file cannot be read, and when it is over the budget and cannot be opened as a PDF (damaged,
/// or locked by a user password) or has no page. `threads` pages are rendered and encoded at
/// once; the bytes do not depend on it.
/// `progress` is told pages rendered of pages (see PageProgress); rendering may stop early,
/// once the outcome is known, without reporting the rest.
std::optional<Compression> compressDetailed(const std::filesystem::path& pdfAt, SizeTarget target,
                                            double dpiScale, int threads = 2,
                                            const PageProgress& progress = {});

/// compressDetailed of a file already in memory (the same result as for that file on disk).
/// With `fitOrNothing`, a rebuilt PDF that cannot fit the target is of no use to the caller:
/// rendering stops as soon as the lowest quality is known not to fit, and the file's bytes
/// come back (not rebuilt).
std::optional<Compression> compressDetailed(Bytes file, SizeTarget target, double dpiScale,
                                            int threads = 2, const PageProgress& progress = {},
                                            bool fitOrNothing = false);

/// compressDetailed's bytes.
std::optional<Bytes> compress(const std::filesystem::path& pdfAt, SizeTarget target,
                              double dpiScale);

} // namespace PDFCompressor
