// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <stop_token>

/// What a running batch tells its caller, so that a window or a terminal can show how far it
/// is. Files are named by their index in the batch's snapshot (queue order).
struct BatchEvent {
    enum class Kind {
        fileStarted,  // the file's engine step began (several files may be in progress at once)
        pages,        // pagesDone of pageCount pages of the file are finished
        fileFinished, // every row of the file is final (a file interrupted by a stop gets none)
    };
    Kind kind = Kind::fileStarted;
    std::size_t file = 0;      // index into the snapshot
    std::size_t fileCount = 0; // files in the batch's snapshot
    int pagesDone = 0;         // Kind::pages only
    int pageCount = 0;         // Kind::pages only; what the step knows at that moment
};

/// Receives a batch's events on the thread that runs the batch, in the order they happen
/// (for one file: fileStarted, pages…, fileFinished). It must return quickly.
using BatchEvents = std::function<void(const BatchEvent&)>;

/// Asked on the batch's thread just before the file at `file` (a snapshot index) is started:
/// true leaves it out of the batch (no row, no event). Lets a caller take a queued file out
/// of a running batch; it must be safe to call while the caller changes its answer.
using SkipQuery = std::function<bool(std::size_t file)>;

/// How a batch runs its files' engine steps in worker processes (parvo-worker) rather than in
/// the calling process.
struct WorkerSettings {
    std::filesystem::path executable;      // the worker program
    int jobs = 0;                          // workers at once; 0 = the number of cores
    std::chrono::seconds fileTimeout{600}; // longest silence of a worker on one file
    std::uint64_t addressSpaceLimit = 0;   // bytes per worker; 0 = min(RAM / 2, 8 GiB)
    /// Told on the batch's thread which worker process took which file (tests use it to
    /// kill or stop that worker mid-file).
    std::function<void(std::size_t file, int pid)> dispatched;
};

/// The in-process batch loop the workflows share: for each snapshot index in order, unless
/// `stop` was requested or `skipped` leaves it out, emits fileStarted, runs `step` and, when
/// the step finished the file (it returns false for a file abandoned by a stop, which ends
/// the loop), emits fileFinished.
void forEachFile(std::size_t fileCount, const std::stop_token& stop, const BatchEvents& events,
                 const SkipQuery& skipped, const std::function<bool(std::size_t file)>& step);
