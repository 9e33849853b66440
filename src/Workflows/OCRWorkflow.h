// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/FolderScan.h"
#include "History/HistoryEntry.h"
#include "History/UtcDate.h"
#include "Platform/Bytes.h"
#include "Workflows/BatchEvents.h"
#include "Workflows/ResultRow.h"
#include "Workflows/StepRunner.h"

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
/// Synchronous: run a batch on a worker thread. Different batches may run at once on
/// different threads; one batch's arguments belong to that batch. Nothing throws.
namespace OCRWorkflow {

/// Raster scale of a PDF's pages for recognition, in pixels per point.
inline constexpr double kPdfDpiScale = 2.0;

/// png, jpg, jpeg, heic, heif, tiff, gif and pdf ("tif" is not among them).
const std::set<std::string, std::less<>>& acceptedExtensions();

/// A dropped location the screen queues: anything but a folder (or a link to one) whose
/// last extension, lower-cased, is accepted ("scan.TIFF" yes; "scan.tif", "notes.txt" and a
/// folder named "x.pdf" no). Folders are never searched. Does not read the file.
bool accepts(const std::filesystem::path& location);

/// folder/stem-searchable.pdf for folder/stem.ext (a.b.png gives a.b-searchable.pdf).
std::filesystem::path outputURL(const std::filesystem::path& source);

/// Makes one file's searchable PDF: bytes, or nothing when no document results (or when a
/// stop abandoned it). `recognizers` are the caller's, for this call's use only.
using Builder = std::function<std::optional<Bytes>(const std::filesystem::path& source,
                                                   std::span<TextRecognizer> recognizers,
                                                   std::stop_token stop)>;

/// The engine, in this process: a ".pdf" (any case) rendered at kPdfDpiScale, any other file
/// as an image file. Nothing for a source that is not a regular file (a pipe or device is
/// never opened). Given no recogniser, it makes one for this call (slower, same result).
std::optional<Bytes> engineBuild(const std::filesystem::path& source,
                                 std::span<TextRecognizer> recognizers, std::stop_token stop);

/// Makes `count` recognisers (at least one) for the engine's languages, "es-ES" then "en-US".
/// Each loads its models: about 0.1 s and 40 MB apiece.
std::vector<TextRecognizer> engineRecognizers(int count);

/// What a batch may be told from outside. All optional.
struct BatchHooks {
    std::stop_token stop;                          // checked before each file and between pages
    std::function<void(const ResultRow&)> rowDone; // on the batch's thread after each row
    /// A stand-in for the engine, run in this process without recognisers even when
    /// `workers` are set (tests); empty: the engine.
    Builder builder;
    BatchEvents events; // on the batch's thread; see BatchEvent
    SkipQuery skipped;  // asked before each file is started
    /// A PDF's searchable copy keeps its bookmarks, links and document information.
    bool keepStructure = false;
    /// Present: each file's engine step runs in a worker process, several at once, results
    /// consumed in queue order (names, bytes and rows as one at a time); a stop then ends
    /// the files in progress at once. Absent: in this process, one file at a time (tests).
    std::optional<WorkerSettings> workers;
};

/// The used-name set a batch starts with: the keys of its own sources, so that no output of
/// the batch replaces one of its inputs.
FolderScan::UsedNames sourceKeys(const std::vector<std::filesystem::path>& sources);

/// One file's row from what the engine gave: the document written to the unique form of
/// outputURL(source) (disk not checked: a file left there by an earlier run is replaced), or
/// the failure with its cause. The chosen name is added to `used` even when the write fails.
ResultRow rowFor(const std::filesystem::path& source, StepRunner::EngineAnswer answer,
                 FolderScan::UsedNames& used);

/// Runs the snapshot in order with one used-name set (started by sourceKeys) and returns one
/// row per file processed. A stop ends the batch at once (in this process: between pages);
/// a file abandoned by the stop gives no row and writes nothing; no temporary file is left.
/// A file whose worker was lost gets the outcome that says how. Events and `skipped` are
/// honoured.
std::vector<ResultRow> runBatch(const std::vector<std::filesystem::path>& snapshot,
                                const BatchHooks& hooks = {});

/// One history entry per row, mode "OCR".
std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock);

} // namespace OCRWorkflow
