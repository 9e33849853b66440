// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/EngineError.h"
#include "Workflows/EngineWorkers.h"

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

/// The three working screens, which are also the modes of history entries.
enum class Screen { compress, ocr, pdfTools };

/// What happened to one file (or one output) of a batch. Decisions — exit statuses, which rows
/// are logged, icons — switch on it; the words a row shows are made from it only where rows
/// are shown or stored (OutcomeText).
enum class FileOutcome {
    written,               // an output was written (a chunk, an extraction, a searchable PDF…)
    merged,                // the merged document was written
    aboveTarget,           // a smaller file was written, still above the size target
    copiedAlreadySmall,    // a folder file copied: nothing smaller came out
    copiedCouldntCompress, // a folder file copied: the engine gave nothing
    alreadyOptimized,      // nothing written: the engine gave nothing smaller
    failed,                // the engine gave nothing; the cause says why, when known
    badRange,              // an extraction's range holds no page of the document
    noBookmarks,           // a split at bookmarks of a document without any
    needOnePdf,            // a merge that produced no page
    couldntSave,           // the output could not be written
    couldntCopy,           // a folder file could not be copied
    engineCrashed,         // the engine's worker died on the file
    engineTimedOut,        // the engine's worker was silent for longer than the file timeout
    engineOutOfMemory,     // the step needed more memory than a worker may have
    engineMissing,         // the engine's helper program cannot be run
};

/// Why a file failed, as far as it is known: an engine or file-system error with the
/// library's words, or how its worker was lost.
struct OutcomeCause {
    std::error_code error;
    std::string detail;
    WorkerLoss loss;

    friend bool operator==(const OutcomeCause& a, const OutcomeCause& b) {
        return a.error == b.error && a.detail == b.detail && a.loss.kind == b.loss.kind &&
               a.loss.signal == b.loss.signal && a.loss.limit == b.loss.limit;
    }
};

namespace FileOutcomes {

/// The outcome of a lost worker, or of an engine failure with this cause: one of the engine*
/// outcomes, or `otherwise` when the cause is the file's own.
FileOutcome ofFailure(const OutcomeCause& cause, FileOutcome otherwise);

/// True for the outcomes that wrote what the user asked for (an output or a folder copy), or
/// found the file already as small as it gets.
bool succeeded(FileOutcome outcome);

/// True for the engine* outcomes: the file may be fine; its step was stopped.
bool engineLost(FileOutcome outcome);

} // namespace FileOutcomes
