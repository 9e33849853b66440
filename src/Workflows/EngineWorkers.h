// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/WorkerChannel.h"
#include "Workflows/BatchEvents.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stop_token>
#include <sys/types.h>
#include <vector>

/// One file's engine step, run by a worker process as one request.
struct EngineStep {
    nlohmann::json request; // "type" and its arguments; the pool adds "id" and "threads"
    std::vector<std::filesystem::path> sources; // opened read-only here, passed as descriptors
    std::int64_t bytes = 0;                     // the size that orders dispatch, largest first
    bool chunked = false; // replies in chunks (split): dispatched in queue order instead
};

/// Why a file's step gave no reply of its own.
struct WorkerLoss {
    enum class Kind {
        none,
        crashed,  // the worker died (any signal, the kernel's OOM killer included) or broke
                  // the protocol
        timedOut, // the worker was silent on the file for longer than the file timeout
        missing,  // no worker could be started: the worker program is missing or broken
    };
    Kind kind = Kind::none;
    int signal = 0;               // crashed: the signal that ended it, when one did
    std::chrono::seconds limit{}; // timedOut: the file timeout
};

/// What a file's step gave, handed to the consumer in queue order.
struct StepReply {
    enum class Kind {
        chunk,   // one piece of a split; the worker builds the next once the consumer returns
        result,  // the step's result
        failure, // the worker's "failure", a source that could not be opened, or a lost worker
    };
    Kind kind = Kind::failure;
    WorkerLoss loss;       // set when the worker was lost (a failure without a message)
    WorkerMessage message; // the worker's reply (an empty header when none came)
    bool final() const { return kind != Kind::chunk; }
};

/// A pool of parvo-worker processes for one batch: workers start lazily (never more than
/// there are files, nor than WorkerSettings::jobs), are reused across the batch's files and
/// are killed when the pool is dropped. run() may be called again: the workers stay.
///
/// run() dispatches steps as workers free up, the largest first among the files at most 2N
/// beyond the oldest unfinished one, and gives each file's replies to the consumer strictly
/// in queue order, so that a consumer that names and writes outputs sees exactly what a
/// one-at-a-time run would. A worker that dies, breaks the protocol or stays silent for the
/// file timeout is killed and replaced; its file's reply is a lost failure. Everything runs
/// on the caller's thread (one poll() loop); events and consumer calls happen there too.
/// Not thread-safe: one run at a time.
class EngineWorkers {
public:
    /// Called with the file's index and each of its replies; the last one is final().
    using Consumer = std::function<void(std::size_t file, StepReply&& reply)>;

    struct Hooks {
        std::stop_token stop; // kills every worker at once: run() returns within a second
        BatchEvents events;   // fileStarted at dispatch, pages from progress, fileFinished
        SkipQuery skipped;    // asked before a file is dispatched
    };

    explicit EngineWorkers(WorkerSettings settings);
    ~EngineWorkers();
    EngineWorkers(const EngineWorkers&) = delete;
    EngineWorkers& operator=(const EngineWorkers&) = delete;

    /// Runs every step (indices are queue order). True when each file got its final reply
    /// (or was skipped); false after a stop, when the files interrupted got none, while the
    /// replies already received were still consumed in queue order.
    bool run(const std::vector<EngineStep>& steps, const Consumer& consumer, const Hooks& hooks);

    /// The pids of the workers alive now (for tests; see also WorkerSettings::dispatched).
    std::vector<pid_t> workerPids() const;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

/// A source opened read-only to be handed to the engine; absent for one that is not a regular
/// file (a pipe or device is never handed over).
std::optional<UniqueFd> openSource(const std::filesystem::path& source);

/// The bytes of a result or chunk (its first descriptor, read from offset 0); absent for a
/// failure or a reply without one.
std::optional<Bytes> replyBytes(const StepReply& reply);

/// Runs `steps` on a pool made for them (see EngineWorkers::run).
bool runOnWorkers(const WorkerSettings& settings, const std::vector<EngineStep>& steps,
                  const EngineWorkers::Consumer& consumer, const EngineWorkers::Hooks& hooks);

/// Settings for workers found beside the running program: "parvo-worker" in the directory of
/// /proc/self/exe, or the program PARVO_WORKER_EXECUTABLE names. Jobs 0 (the core count),
/// the default timeout and address-space limit.
WorkerSettings besideThisProgram();

/// Whether `settings.executable` names a program this process may run.
bool workerProgramRunnable(const WorkerSettings& settings);

/// The address-space limit a worker gets for WorkerSettings::addressSpaceLimit 0:
/// min(RAM / 2, 8 GiB), or none (0) in a sanitizer build, whose shadow memory needs more.
std::uint64_t defaultAddressSpaceLimit();
