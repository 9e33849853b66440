// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/PageProgress.h"
#include "Engine/SizeTarget.h"
#include "Platform/Bytes.h"

#include <filesystem>
#include <optional>
#include <vector>

/// Shrinks a PDF towards a size target while keeping the document: its text, fonts, vector
/// drawing, links, outline, forms, page boxes and rotation. Each step is taken only when the
/// previous one does not fit:
///   1. a file within the budget is returned as it is (not even opened);
///   2. lossless: streams deflated at zlib's highest level, object streams, identical image and
///      font streams stored once, applications' private data and unreferenced objects dropped;
///   3. images: every image whose uses are all known is resampled to a pixels-per-inch cap,
///      measured at the largest size a page draws it, and stored as JPEG (1-bit images stay
///      1-bit and lossless), with one setting for the whole document: the best rung of a
///      ladder of caps and qualities that fits;
///   4. pictures, the last resort, only when no setting of step 3 fits and it does: every
///      page drawn as a JPEG picture into its own box, with its text kept as an invisible,
///      searchable layer where it was, its links and the outline kept.
/// Stateless; safe to call from several threads at once.
namespace KeepingPDFCompressor {

enum class Method {
    unchanged, // the file's own bytes
    lossless,  // step 2
    images,    // step 3
    pictures,  // step 4
};

struct Compression {
    Bytes bytes;
    Method method = Method::unchanged;
    bool fits = false; // at most the target's bytes
};

/// One rung of the image ladder: images are stored at no more than `pixelsPerInch` where
/// they are drawn largest, as JPEG at `quality`.
struct Setting {
    double pixelsPerInch = 0;
    double quality = 0;
};

/// The ladder, best first; neither the cap nor the quality rises from rung to rung, so an
/// image's encoded size falls (all but) steadily down it.
const std::vector<Setting>& ladder();

/// The file's bytes, unchanged and fitting, when it is within the budget. Otherwise the
/// first step that fits; when none does, the smallest document-keeping result (fits false)
/// if it is smaller than the file, else the file's bytes (unchanged, fits false). The result
/// is never larger than the file, always holds as many pages, and the same input gives the
/// same bytes whatever `threads` is. A file encrypted with an owner password only comes out
/// without encryption, as a rasterised one does. Absent when the file is over the
/// budget and cannot be opened as a PDF or has no page. `threads` images are worked on at
/// once; `progress` is told pages done of pages as images are finished (see PageProgress).
std::optional<Compression> compress(Bytes file, SizeTarget target, int threads = 2,
                                    const PageProgress& progress = {});

/// compress() of a file on disk; absent also when the file cannot be read.
std::optional<Compression> compress(const std::filesystem::path& pdfAt, SizeTarget target,
                                    int threads = 2, const PageProgress& progress = {});

} // namespace KeepingPDFCompressor
