// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/FolderScan.h"
#include "Engine/PDFOps.h"
#include "History/HistoryEntry.h"
#include "History/UtcDate.h"
#include "Workflows/BatchEvents.h"
#include "Workflows/ResultRow.h"
#include "Workflows/StepRunner.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <stop_token>
#include <string_view>
#include <vector>

/// The PDF Tools batch without a window: merge the queued PDFs into one, split each into
/// chunks, or extract a page range from each; every result is written beside its source under
/// a name that is unique on disk and never replaces a file (if one appears at the chosen name
/// meanwhile, the next unique name is taken). One result row per output or failure. Sources
/// are only read.
///
/// Output names (each made unique by FolderScan::uniqueURL with the disk checked, against one
/// used-name set per batch; a name handed out stays used even when its write fails):
///   merge    "merged.pdf" in the first queued file's folder
///   split    "<base>-part<k>.pdf", k = 1, 2, … (base: the name without its last extension)
///   extract  "<base>-p<lower>-<upper>.pdf", the bounds as parsed, not cut to the document
///   split at bookmarks  "<base>-<title>.pdf" (PDFOps::bookmarkPartFileName)
///
/// Synchronous: run a batch on a worker thread. One batch's arguments belong to that batch.
/// Nothing throws.
namespace PDFToolsWorkflow {

enum class Op { merge, split, extract, splitAtBookmarks };
inline constexpr std::array<Op, 4> kOps = {Op::merge, Op::split, Op::extract, Op::splitAtBookmarks};
/// "Merge", "Split every N", "Extract pages", "Split at bookmarks".
std::string_view label(Op op);

inline constexpr std::int64_t kMinSplit = 1;
inline constexpr std::int64_t kMaxSplit = 500;

/// The row name of a merge that produced no document.
inline constexpr std::string_view kMergeFailedName = "merge";

/// A dropped location the screen queues: its lower-cased extension is "pdf" (A.PDF is taken)
/// and it is not a folder. The file itself is not read.
bool accepts(const std::filesystem::path& location);

/// The text split at every "-", empty pieces dropped, each piece trimmed of spaces and tabs
/// (not line breaks); pieces that are not "+"-optional decimal integers within 64 bits are
/// dropped. One number n gives n…n (n ≥ 1); two give a…b (1 ≤ a ≤ b, never swapped);
/// anything else is absent. "1-5" → 1…5, "3-" → 3…3, "x-5" → 5…5, "+2-+4" → 2…4;
/// absent for "5-3", "0-3", "1-5-9", "".
std::optional<PDFOps::PageRange> parseRange(std::string_view text);

/// What a run was started with: a snapshot of the screen's options.
struct Options {
    Op op = Op::merge;
    std::int64_t splitN = 10;               // pages per chunk; below 1 no chunk results
    std::optional<PDFOps::PageRange> range; // parseRange of the range text at the start
    /// Carry the bookmarks onto the results (a merge nests each input's under one named after
    /// it). A split at bookmarks keeps each part's bookmarks whatever this says.
    bool keepBookmarks = false;
};

/// Called with the chosen location after its name was made unique and before the file is
/// written there. Tests use it to put something at that name in the meantime.
using BeforeWrite = std::function<void(const std::filesystem::path& chosen)>;

struct BatchHooks {
    std::stop_token stop;                          // checked between files and outputs
    std::function<void(const ResultRow&)> rowDone; // on the batch's thread after each row
    BeforeWrite beforeWrite;
    BatchEvents events; // on the batch's thread; see BatchEvent
    SkipQuery skipped;  // asked before each file is started
    /// Told about each merge input left out because it could not be opened, with why.
    std::function<void(const std::filesystem::path& input, const OutcomeCause& cause)>
        mergeInputLeftOut;
    /// Present: each file's engine step runs in a worker process, several at once, results
    /// consumed in queue order (names, bytes and rows as one at a time); a stop then ends
    /// the files in progress at once. Absent: in this process, one file at a time (tests).
    std::optional<WorkerSettings> workers;
};

/// Where one output went: `location` is the last name tried (also on failure).
struct SaveResult {
    std::filesystem::path location;
    bool saved = false;
};

/// How many names one output tries when items keep appearing at the chosen names.
inline constexpr int kMaxSaveAttempts = 20;

/// Writes `bytes` at the unique form of `candidate` without replacing anything: when an item
/// appeared at the chosen name after the check, the next unique name is taken (at most
/// kMaxSaveAttempts names). Any other failure ends the attempt. Every name tried is in `used`.
SaveResult saveUnique(std::span<const std::uint8_t> bytes, const std::filesystem::path& candidate,
                      FolderScan::UsedNames& used, const BeforeWrite& beforeWrite = {});

/// The steps of a batch, each callable on its own with the names already used, run in this
/// process (or in hooks.workers). Each calls hooks.rowDone for every row it makes, as soon as
/// the row is final, and passes hooks.beforeWrite to saveUnique.

/// One row: the merged document of the readable files, in order (files that can't be opened
/// add nothing and are told to hooks.mergeInputLeftOut), or "merge" with needOnePdf when no
/// page results.
ResultRow mergeFiles(const std::vector<std::filesystem::path>& files, FolderScan::UsedNames& used,
                     const BatchHooks& hooks = {});

/// One row per chunk written (or failed to write), or one failed row; no row when the
/// document gives no chunk. A stop request ends it between chunks (the chunks written so far
/// keep their rows).
std::vector<ResultRow> splitFile(const std::filesystem::path& source, std::int64_t every,
                                 FolderScan::UsedNames& used, const BatchHooks& hooks = {});

/// One row: the extraction, failed (the file can't be opened: checked before the range), or
/// badRange when the range is absent or holds no page of the document.
ResultRow extractFile(const std::filesystem::path& source, std::optional<PDFOps::PageRange> range,
                      FolderScan::UsedNames& used, const BatchHooks& hooks = {});

/// The rows of one run over the snapshot, in order, with one used-name set starting empty.
/// A stop request ends the batch between files and outputs (on workers: at once); the rows so
/// far are returned and no temporary file is left behind. Split ignores options.range;
/// Extract ignores splitN. A merge is one step over every input; only when its worker is lost
/// is each input opened in a step of its own (one whose worker is lost is left out like an
/// unreadable file) before merging again those that open. A file whose worker is lost gets
/// the outcome that says how (after the chunks already written, for a split).
std::vector<ResultRow> runBatch(const std::vector<std::filesystem::path>& snapshot,
                                const Options& options, const BatchHooks& hooks = {});

/// One history entry per row, mode "PDF Tools", no sizes.
std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock);

} // namespace PDFToolsWorkflow
