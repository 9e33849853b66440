// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/StepRunner.h"

#include "Workflows/EngineProtocol.h"

#include <algorithm>
#include <thread>

namespace fs = std::filesystem;
using EngineProtocol::Reply;

namespace {

StepReply failureReply(WorkerLoss loss = {}) {
    StepReply reply;
    reply.kind = StepReply::Kind::failure;
    reply.loss = loss;
    return reply;
}

// The batch's side of an in-process step: replies go straight to the consumer, a chunk is
// consumed before the engine builds the next one, as with a worker.
class InProcessLink : public ReplyLink {
public:
    InProcessLink(const EngineWorkers::Consumer& consumer, const EngineWorkers::Hooks& hooks,
                  std::size_t fileCount)
        : m_consumer(consumer), m_hooks(hooks), m_fileCount(fileCount) {}

    void startFile(std::size_t file) {
        m_file = file;
        m_finished = false;
    }
    bool finished() const { return m_finished; }

    bool send(WorkerMessage message) override {
        const std::optional<Reply> type = EngineProtocol::replyOf(message);
        if (type == Reply::progress) {
            if (m_hooks.events) {
                m_hooks.events({BatchEvent::Kind::pages, m_file, m_fileCount,
                                message.header.value("done", 0), message.header.value("count", 0)});
            }
            return true;
        }
        StepReply reply;
        reply.kind = type == Reply::chunk     ? StepReply::Kind::chunk
                     : type == Reply::failure ? StepReply::Kind::failure
                                              : StepReply::Kind::result;
        reply.message = std::move(message);
        m_finished = reply.final();
        m_consumer(m_file, std::move(reply));
        return true;
    }

    std::optional<WorkerMessage> receive() override {
        using EngineProtocol::Request;
        const Request answer =
            m_hooks.stop.stop_requested() ? Request::quit : Request::continueSplit;
        return WorkerMessage{EngineProtocol::header(answer), {}, {}};
    }

private:
    const EngineWorkers::Consumer& m_consumer;
    const EngineWorkers::Hooks& m_hooks;
    std::size_t m_fileCount;
    std::size_t m_file = 0;
    bool m_finished = false;
};

int coreCount() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

WorkerMessage requestFor(const EngineStep& step, std::int64_t id) {
    WorkerMessage message;
    message.header = step.request;
    message.header["id"] = id;
    // One file at a time: each gets every core, as the last file of a worker batch does.
    message.header["threads"] = coreCount();
    return message;
}

bool runInProcess(const StepRunner::LocalEngine& local, const std::vector<EngineStep>& steps,
                  const EngineWorkers::Consumer& consumer, const EngineWorkers::Hooks& hooks) {
    InProcessLink link(consumer, hooks, steps.size());
    RequestHandler handler(link, hooks.stop);
    const auto emit = [&](BatchEvent::Kind kind, std::size_t file) {
        if (hooks.events)
            hooks.events({kind, file, steps.size(), 0, 0});
    };
    for (std::size_t file = 0; file < steps.size(); ++file) {
        if (hooks.stop.stop_requested())
            return false;
        if (hooks.skipped && hooks.skipped(file))
            continue;
        emit(BatchEvent::Kind::fileStarted, file);
        link.startFile(file);
        WorkerMessage request = requestFor(steps[file], static_cast<std::int64_t>(file) + 1);
        bool sourcesOpen = true;
        for (const fs::path& source : steps[file].sources) {
            std::optional<UniqueFd> fd = openSource(source);
            sourcesOpen = sourcesOpen && fd.has_value();
            if (fd)
                request.fds.push_back(std::move(*fd));
        }
        if (!sourcesOpen) {
            link.send({EngineProtocol::header(Reply::failure), {}, {}});
        } else if (local) {
            local(steps[file], std::move(request), link, hooks.stop);
        } else {
            handler.handle(std::move(request));
        }
        if (!link.finished()) {
            if (hooks.stop.stop_requested())
                return false;
            consumer(file, failureReply({WorkerLoss::Kind::crashed, 0, {}}));
        }
        emit(BatchEvent::Kind::fileFinished, file);
    }
    return true;
}

} // namespace

namespace StepRunner {

Runner::Runner(Transport transport) : m_transport(std::move(transport)) {}
Runner::~Runner() = default;

bool Runner::run(const std::vector<EngineStep>& steps, const EngineWorkers::Consumer& consumer,
                 const EngineWorkers::Hooks& hooks) {
    if (!m_transport.workers)
        return runInProcess(m_transport.local, steps, consumer, hooks);
    if (!m_pool)
        m_pool = std::make_unique<EngineWorkers>(*m_transport.workers);
    return m_pool->run(steps, consumer, hooks);
}

EngineAnswer answerOf(const StepReply& reply) {
    EngineAnswer answer;
    answer.bytes = replyBytes(reply);
    answer.cause.loss = reply.loss;
    const nlohmann::json& header = reply.message.header;
    const auto pages = header.is_object() ? header.find("pages") : header.end();
    answer.pages = pages != header.end() && pages->is_number_integer() ? pages->get<int>() : 0;
    const auto fits = header.is_object() ? header.find("fits") : header.end();
    answer.fits = fits == header.end() || !fits->is_boolean() || fits->get<bool>();
    if (reply.kind == StepReply::Kind::failure) {
        const EngineFailure failure = EngineProtocol::causeOf(reply.message);
        answer.cause.error = failure.error;
        answer.cause.detail = failure.detail;
        answer.stage = EngineProtocol::stageOf(reply.message);
    }
    return answer;
}

void answer(const WorkerMessage& request, ReplyLink& link, const std::optional<Bytes>& bytes) {
    WorkerMessage reply;
    reply.header = EngineProtocol::header(bytes ? Reply::result : Reply::failure);
    reply.header["id"] = request.header.value("id", 0);
    if (bytes)
        reply.fds.push_back(memfdWithBytes(*bytes));
    link.send(std::move(reply));
}

} // namespace StepRunner
