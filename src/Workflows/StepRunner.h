// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Workflows/EngineProtocol.h"
#include "Workflows/EngineWorkers.h"
#include "Workflows/FileOutcome.h"
#include "Workflows/RequestHandler.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

/// The one way a batch runs its files' engine steps. Each workflow turns its snapshot into
/// steps (requests) and its consumer turns each reply into rows; the runner carries the
/// requests over one of two transports with the same replies, events and queue order:
///   - worker processes (EngineWorkers), the default of the window and of `parvo`;
///   - this process, one file at a time, for tests and benchmarks: the same RequestHandler
///     a worker runs, or a stand-in engine a test provides.
/// Nothing throws; everything runs on the calling thread.
namespace StepRunner {

/// Answers one request in this process as a worker would, on `link`. `step` is the request's
/// origin (a stand-in engine may read its sources' paths); `stop` is the batch's.
using LocalEngine = std::function<void(const EngineStep& step, WorkerMessage&& request,
                                       ReplyLink& link, std::stop_token stop)>;

/// How a batch's steps run: in `workers` when set, otherwise in this process by `local`
/// (the engine itself, a RequestHandler, when empty).
struct Transport {
    std::optional<WorkerSettings> workers;
    LocalEngine local;
};

/// Runs steps in queue order (see EngineWorkers::run for what consumers, events, skips and
/// stops see). In this process a stop ends the batch between files, and a step that honours
/// it (OCR) is abandoned without a reply; a step that ends without a final reply otherwise
/// counts as a crashed one. Workers, once started, serve every run() of the runner.
class Runner {
public:
    explicit Runner(Transport transport);
    ~Runner();
    Runner(const Runner&) = delete;
    Runner& operator=(const Runner&) = delete;

    /// True when every file got its final reply (or was skipped).
    bool run(const std::vector<EngineStep>& steps, const EngineWorkers::Consumer& consumer,
             const EngineWorkers::Hooks& hooks);

private:
    Transport m_transport;
    std::unique_ptr<EngineWorkers> m_pool;
};

/// What the engine gave for one file: a result's bytes and page count, or why nothing came.
struct EngineAnswer {
    std::optional<Bytes> bytes;
    OutcomeCause cause;
    int pages = 0;
    bool fits = true; // a compressed result within its target
    EngineProtocol::Stage stage = EngineProtocol::Stage::none; // of a failure
};

/// The answer a reply carries.
EngineAnswer answerOf(const StepReply& reply);

/// A stand-in engine's answer: a result carrying `bytes`, or a failure without a cause.
void answer(const WorkerMessage& request, ReplyLink& link, const std::optional<Bytes>& bytes);

} // namespace StepRunner
