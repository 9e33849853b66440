// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/FolderScan.h"
#include "Engine/SizeTarget.h"
#include "History/HistoryEntry.h"
#include "History/UtcDate.h"
#include "Platform/Bytes.h"
#include "Workflows/BatchEvents.h"
#include "Workflows/CompressJob.h"
#include "Workflows/CompressOutcome.h"
#include "Workflows/StepRunner.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <vector>

/// The Compress batch without a window: run jobs one after another, write each result (or an
/// unchanged copy into a mirror folder), and describe every job in one Outcome row.
///
/// Writes touch only the outputs' folders: an output or copy is written through a temporary
/// file beside it and renamed into place, replacing a file left by an earlier batch. Sources
/// are never modified: a batch's own sources are never chosen as output names.
///
/// Synchronous and thread-agnostic: run a batch on a worker thread. One batch's arguments
/// belong to that batch; different batches may run at once on different files.
namespace CompressWorkflow {

/// Compresses one source towards a target: bytes, or nothing when it cannot be processed.
using Compressor =
    std::function<std::optional<Bytes>(const std::filesystem::path& source, SizeTarget target)>;

/// The engine: PDFCompressor at scale 1.5 for a ".pdf" (any case), ImageCompressor otherwise.
/// Nothing for a source that is not a regular file (a pipe or device is never opened).
std::optional<Bytes> engineCompress(const std::filesystem::path& source, SizeTarget target);

/// A file's size in bytes (links followed); 0 when it cannot be read.
std::int64_t fileSize(const std::filesystem::path& location);

/// The used-name set a batch starts with: the keys of its own sources, so that no output or
/// copy of the batch replaces one of its inputs.
FolderScan::UsedNames sourceKeys(const std::vector<Job>& jobs);

/// One job's row from what the engine gave: the smaller result written to the unique form of
/// `dst`, or the source copied to the unique form of `copyDst` (folder files, also when the
/// engine was lost on it), or nothing written. Chosen names are added to `used`. Never throws
/// for file-system failures: they become the row's outcome with their description.
/// A result that does not fit `target` is written all the same (it is smaller than the source)
/// and noted as above it.
Outcome rowFor(const Job& job, SizeTarget target, StepRunner::EngineAnswer answer,
               FolderScan::UsedNames& used);

/// rowFor with the answer of `compressor`, run here.
Outcome runJob(const Job& job, SizeTarget target, FolderScan::UsedNames& used,
               const Compressor& compressor = engineCompress);

/// What a batch may be told from outside. All optional.
struct BatchHooks {
    std::stop_token stop;                        // checked before each job
    std::function<void(const Outcome&)> rowDone; // called on the batch's thread after each row
    /// A stand-in for the engine, run in this process even when `workers` are
    /// set (tests); empty: the engine.
    Compressor compressor;
    BatchEvents events; // on the batch's thread; see BatchEvent
    SkipQuery skipped;  // asked before each file is started
    /// PDFs keep their text, fonts, links and bookmarks: restructured and their images
    /// resampled rather than rasterised, unless only pictures can reach the target.
    bool keepText = false;
    /// Present: each file's engine step runs in a worker process, several at once, results
    /// consumed in queue order (names, bytes and rows as one at a time); a stop then ends
    /// the files in progress at once. Absent: in this process, one file at a time (tests).
    std::optional<WorkerSettings> workers;
};

/// Runs the snapshot in order with one used-name set (started by sourceKeys) and returns
/// one row per job run. When a stop is requested the batch ends after the job in progress
/// (on workers: at once, the jobs in progress getting no row): the rows so far are returned
/// and no temporary file is left behind. A job whose worker was lost gets the outcome that
/// says how (a folder file is still copied). Events and `skipped` are honoured.
std::vector<Outcome> runBatch(const std::vector<Job>& snapshot, SizeTarget target,
                              const BatchHooks& hooks = {});

/// History entries (mode "Compress", all dated by one reading of clock()) for every row except
/// failures (the engine gave nothing or was lost on the file), in row order.
std::vector<HistoryEntry> historyEntries(const std::vector<Outcome>& rows,
                                         const UtcDate::Clock& clock);

} // namespace CompressWorkflow
