// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/FolderScan.h"
#include "History/HistoryEntry.h"
#include "History/UtcDate.h"
#include "Platform/Bytes.h"
#include "Workflows/ResultRow.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

class TextRecognizer;

/// The OCR batch without a window: each queued scan or PDF becomes "<stem>-searchable.pdf"
/// beside it, one result row per file. Outputs are written through a temporary file and
/// renamed into place, replacing a file of an earlier run; the batch's own sources are never
/// chosen as output names.
///
/// Synchronous: run a batch on a worker thread. Nothing throws.
namespace OCRWorkflow {

inline constexpr std::string_view kMode = "OCR";

/// The notes a row can carry; the prefix is followed by the system's error description.
namespace Notes {
inline constexpr std::string_view kSaved = "searchable PDF";
inline constexpr std::string_view kNoText = "No text found";
inline constexpr std::string_view kCouldntSavePrefix = "Couldn't save: ";
} // namespace Notes

/// png, jpg, jpeg, heic, heif, tiff, gif and pdf ("tif" is not among them).
const std::set<std::string, std::less<>>& acceptedExtensions();

/// A dropped location the screen queues: a regular file (or not a folder) whose lower-cased
/// extension is accepted. Folders are never searched.
bool accepts(const std::filesystem::path& location);

/// folder/stem-searchable.pdf for folder/stem.ext (a.b.png gives a.b-searchable.pdf).
std::filesystem::path outputURL(const std::filesystem::path& source);

/// Makes one file's searchable PDF: bytes, or nothing when no document results.
using Builder = std::function<std::optional<Bytes>(const std::filesystem::path& source,
                                                   std::span<TextRecognizer> recognizers,
                                                   std::stop_token stop)>;

/// The engine: a ".pdf" (any case) rendered at scale 2.0, any other file as an image file.
std::optional<Bytes> engineBuild(const std::filesystem::path& source,
                                 std::span<TextRecognizer> recognizers, std::stop_token stop);

/// What a batch may be told from outside. All optional.
struct BatchHooks {
    std::stop_token stop;                          // checked before each file and between pages
    std::function<void(const ResultRow&)> rowDone; // on the batch's thread after each row
    Builder builder = engineBuild;
    int workers = 2; // recognisers made for the batch, so pages of a PDF run in parallel
};

/// Runs the snapshot in order with one used-name set (started by the sources' keys) and
/// returns one row per file processed. A stop ends the batch after the file in progress (a
/// file abandoned by the stop gives no row and writes nothing).
std::vector<ResultRow> runBatch(const std::vector<std::filesystem::path>& snapshot,
                                const BatchHooks& hooks = {});

/// One history entry per row, mode "OCR".
std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock);

} // namespace OCRWorkflow
