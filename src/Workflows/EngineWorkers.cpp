// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/EngineWorkers.h"

// The loop keeps three invariants: a file's replies reach the consumer only when every file
// before it in queue order is finished (consumed, skipped or, after a stop, abandoned); a
// worker is either idle or busy with exactly one file; and a worker that misbehaves in any
// way is killed and reaped before its file is given its lost failure, so no process outlives
// the decision.

#include "Platform/WorkerProcess.h"
#include "Workflows/EngineProtocol.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <deque>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A frame is sent in one go; a worker that stops half-way through one is broken.
constexpr int kFrameSeconds = 2;

enum class FileState { waiting, skipped, running, replied, consumed };

struct Worker {
    WorkerProcess process;
    std::optional<std::size_t> file;
    std::int64_t requestId = 0;
    bool awaitingParent = false; // sent a chunk; silent until the consumer took it
    Clock::time_point lastHeard;
};

struct FileSlot {
    FileState state = FileState::waiting;
    std::deque<StepReply> replies;
};

// Workers started together load their libraries side by side.
std::vector<Worker> startWorkers(const WorkerSettings& settings, int count) {
    WorkerProcess::Options options;
    options.executable = settings.executable;
    options.addressSpaceBytes =
        settings.addressSpaceLimit ? settings.addressSpaceLimit : defaultAddressSpaceLimit();
    std::vector<Worker> started;
    for (WorkerProcess& process : WorkerProcess::startMany(options, count)) {
        const timeval frameTimeout{kFrameSeconds, 0};
        ::setsockopt(process.channel().fd(), SOL_SOCKET, SO_RCVTIMEO, &frameTimeout,
                     sizeof(frameTimeout));
        started.push_back(Worker{std::move(process), std::nullopt, 0, false, Clock::now()});
    }
    return started;
}

StepReply failure(WorkerLoss loss = {}) {
    StepReply reply;
    reply.kind = StepReply::Kind::failure;
    reply.loss = loss;
    return reply;
}

int coreCount() {
    return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

struct EngineWorkers::State {
    WorkerSettings settings;
    std::vector<Worker> workers;
    std::int64_t nextId = 1;

    // One run's data.
    const std::vector<EngineStep>* steps = nullptr;
    const Consumer* consumer = nullptr;
    const Hooks* hooks = nullptr;
    std::vector<FileSlot> files;
    std::size_t head = 0;
    UniqueFd stopEvent;

    int jobs() const { return settings.jobs > 0 ? settings.jobs : coreCount(); }

    void emit(BatchEvent::Kind kind, std::size_t file, int done = 0, int count = 0) const {
        if (hooks->events) {
            hooks->events({kind, file, files.size(), done, count});
        }
    }

    // Files whose step has not replied yet share the cores; the last file gets them all.
    int threadBudget() const {
        const auto unreplied =
            static_cast<int>(std::count_if(files.begin(), files.end(), [](const FileSlot& slot) {
                return slot.state == FileState::waiting || slot.state == FileState::running;
            }));
        return std::max(1, coreCount() / std::clamp(unreplied, 1, jobs()));
    }

    std::optional<std::size_t> nextFile() {
        const std::size_t last =
            std::min(files.size(), head + 2 * static_cast<std::size_t>(jobs()) + 1);
        while (true) {
            std::optional<std::size_t> best;
            bool earlierWaiting = false;
            for (std::size_t i = head; i < last; ++i) {
                if (files[i].state != FileState::waiting) {
                    continue;
                }
                // A chunked step holds its worker until its file reaches the head; run ahead
                // of a file still waiting, it could hold the worker that file needs.
                const bool mayGo = !(*steps)[i].chunked || !earlierWaiting;
                earlierWaiting = true;
                if (mayGo && (!best || (*steps)[i].bytes > (*steps)[*best].bytes)) {
                    best = i;
                }
            }
            if (!best || !hooks->skipped || !hooks->skipped(*best)) {
                return best;
            }
            files[*best].state = FileState::skipped;
        }
    }

    Worker* freeWorker() {
        for (Worker& worker : workers) {
            if (!worker.file) {
                return &worker;
            }
        }
        const int wanted = std::min(jobs() - static_cast<int>(workers.size()), filesWaiting());
        if (wanted <= 0) {
            return nullptr;
        }
        for (Worker& started : startWorkers(settings, wanted)) {
            workers.push_back(std::move(started));
        }
        for (Worker& worker : workers) {
            if (!worker.file) {
                return &worker;
            }
        }
        return nullptr;
    }

    int filesWaiting() const {
        return static_cast<int>(std::count_if(files.begin(), files.end(), [](const FileSlot& slot) {
            return slot.state == FileState::waiting;
        }));
    }

    void finishFile(std::size_t file, StepReply reply) {
        files[file].replies.push_back(std::move(reply));
        if (files[file].replies.back().final()) {
            files[file].state = FileState::replied;
        }
    }

    void dispatch(std::size_t file, Worker& worker) {
        const EngineStep& step = (*steps)[file];
        WorkerMessage message;
        message.header = step.request;
        message.header["id"] = nextId;
        message.header["threads"] = threadBudget();
        for (const fs::path& source : step.sources) {
            std::optional<UniqueFd> fd = openSource(source);
            if (!fd) {
                files[file].state = FileState::running;
                emit(BatchEvent::Kind::fileStarted, file);
                finishFile(file, failure());
                return;
            }
            message.fds.push_back(std::move(*fd));
        }
        files[file].state = FileState::running;
        emit(BatchEvent::Kind::fileStarted, file);
        worker.file = file;
        worker.requestId = nextId++;
        worker.lastHeard = Clock::now();
        worker.awaitingParent = false;
        if (settings.dispatched) {
            settings.dispatched(file, worker.process.pid());
        }
        if (!sendWithSources(worker, std::move(message))) {
            lose(worker);
        }
    }

    // A frame carries at most kMaxFds descriptors: a request with more sources (a merge of
    // many files) sends the rest in "sources" frames right after it.
    bool sendWithSources(Worker& worker, WorkerMessage message) {
        std::vector<UniqueFd> rest;
        if (message.fds.size() > WorkerChannel::kMaxFds) {
            message.header["sources"] = message.fds.size();
            rest.assign(std::make_move_iterator(message.fds.begin() + WorkerChannel::kMaxFds),
                        std::make_move_iterator(message.fds.end()));
            message.fds.resize(WorkerChannel::kMaxFds);
        }
        const nlohmann::json id = message.header["id"];
        bool sent = worker.process.channel().send(message);
        for (std::size_t first = 0; sent && first < rest.size(); first += WorkerChannel::kMaxFds) {
            WorkerMessage more{
                EngineProtocol::header(EngineProtocol::Request::moreSources), {}, {}};
            more.header["id"] = id;
            const std::size_t last = std::min(rest.size(), first + WorkerChannel::kMaxFds);
            for (std::size_t i = first; i < last; ++i) {
                more.fds.push_back(std::move(rest[i]));
            }
            sent = worker.process.channel().send(more);
        }
        return sent;
    }

    // A worker that failed in any way: killed, reaped, dropped; its file fails. A worker that
    // died by itself keeps the signal that ended it (SIGKILL from the OOM killer too).
    void lose(Worker& worker, WorkerLoss::Kind kind = WorkerLoss::Kind::crashed) {
        worker.process.kill();
        if (worker.file) {
            WorkerLoss loss{kind, 0, {}};
            if (kind == WorkerLoss::Kind::timedOut) {
                loss.limit = settings.fileTimeout;
            } else {
                loss.signal = worker.process.terminatingSignal();
            }
            finishFile(*worker.file, failure(loss));
        }
        const auto at = std::find_if(workers.begin(), workers.end(),
                                     [&](const Worker& w) { return &w == &worker; });
        workers.erase(at);
    }

    void dispatchAll() {
        while (true) {
            const std::optional<std::size_t> file = nextFile();
            if (!file) {
                return;
            }
            Worker* worker = freeWorker();
            if (worker == nullptr) {
                if (workers.empty()) {
                    files[*file].state = FileState::running;
                    emit(BatchEvent::Kind::fileStarted, *file);
                    finishFile(*file, failure({WorkerLoss::Kind::missing, 0, {}}));
                    continue;
                }
                return;
            }
            dispatch(*file, *worker);
        }
    }

    Worker* workerOfFile(std::size_t file) {
        for (Worker& worker : workers) {
            if (worker.file == file) {
                return &worker;
            }
        }
        return nullptr;
    }

    // Hands the head files' replies to the consumer, in queue order, as far as they go.
    void deliver() {
        while (head < files.size()) {
            FileSlot& slot = files[head];
            if (slot.state == FileState::skipped || slot.state == FileState::consumed) {
                ++head;
                continue;
            }
            if (slot.replies.empty()) {
                return;
            }
            StepReply reply = std::move(slot.replies.front());
            slot.replies.pop_front();
            const bool final = reply.final();
            (*consumer)(head, std::move(reply));
            if (final) {
                slot.state = FileState::consumed;
                emit(BatchEvent::Kind::fileFinished, head);
                ++head;
            } else {
                resume(head);
            }
        }
    }

    void resume(std::size_t file) {
        Worker* worker = workerOfFile(file);
        if (worker == nullptr) {
            return;
        }
        WorkerMessage message;
        message.header = EngineProtocol::header(EngineProtocol::Request::continueSplit);
        message.header["id"] = worker->requestId;
        worker->awaitingParent = false;
        worker->lastHeard = Clock::now();
        if (!worker->process.channel().send(message)) {
            lose(*worker);
        }
    }

    void handle(Worker& worker, WorkerMessage message) {
        using EngineProtocol::Reply;
        worker.lastHeard = Clock::now();
        const std::optional<Reply> type = EngineProtocol::replyOf(message);
        if (type == Reply::ready) {
            return;
        }
        const nlohmann::json id = message.header.value("id", nlohmann::json());
        if (!type || !worker.file || !id.is_number_integer() ||
            id.get<std::int64_t>() != worker.requestId) {
            lose(worker);
            return;
        }
        const std::size_t file = *worker.file;
        if (type == Reply::progress) {
            const int done = message.header.value("done", -1);
            const int count = message.header.value("count", -1);
            if (done >= 0 && count >= done) {
                emit(BatchEvent::Kind::pages, file, done, count);
            }
            return;
        }
        StepReply reply;
        reply.kind = type == Reply::chunk     ? StepReply::Kind::chunk
                     : type == Reply::failure ? StepReply::Kind::failure
                                              : StepReply::Kind::result;
        worker.awaitingParent = type == Reply::chunk;
        reply.message = std::move(message);
        if (reply.final()) {
            worker.file.reset();
        }
        finishFile(file, std::move(reply));
    }

    std::optional<Clock::time_point> nextDeadline() const {
        std::optional<Clock::time_point> deadline;
        for (const Worker& worker : workers) {
            if (worker.file && !worker.awaitingParent) {
                const auto due = worker.lastHeard + settings.fileTimeout;
                deadline = deadline ? std::min(*deadline, due) : due;
            }
        }
        return deadline;
    }

    void loseSilentWorkers() {
        const auto now = Clock::now();
        for (std::size_t i = workers.size(); i-- > 0;) {
            Worker& worker = workers[i];
            if (worker.file && !worker.awaitingParent &&
                now >= worker.lastHeard + settings.fileTimeout) {
                lose(worker, WorkerLoss::Kind::timedOut);
            }
        }
    }

    // One poll over the stop event and every worker; false when the stop was requested.
    bool waitOnce() {
        std::vector<pollfd> polled = {{stopEvent.get(), POLLIN, 0}};
        std::vector<pid_t> pids;
        for (Worker& worker : workers) {
            polled.push_back({worker.process.channel().fd(), POLLIN, 0});
            pids.push_back(worker.process.pid());
        }
        int timeoutMs = -1;
        if (const auto deadline = nextDeadline()) {
            const auto left =
                std::chrono::ceil<std::chrono::milliseconds>(*deadline - Clock::now());
            timeoutMs = static_cast<int>(std::max<std::int64_t>(0, left.count()));
        }
        const int ready = ::poll(polled.data(), polled.size(), timeoutMs);
        if (ready < 0 && errno != EINTR) {
            return !hooks->stop.stop_requested();
        }
        if (polled[0].revents != 0 || hooks->stop.stop_requested()) {
            return false;
        }
        for (std::size_t i = 1; i < polled.size(); ++i) {
            if (polled[i].revents == 0) {
                continue;
            }
            // Earlier handling may have dropped workers: find this one by its pid again.
            const auto at = std::find_if(workers.begin(), workers.end(),
                                         [&](Worker& w) { return w.process.pid() == pids[i - 1]; });
            if (at == workers.end()) {
                continue;
            }
            if (std::optional<WorkerMessage> message = at->process.channel().receive()) {
                handle(*at, std::move(*message));
            } else {
                lose(*at);
            }
        }
        loseSilentWorkers();
        return true;
    }

    // Every worker is sent SIGKILL before any is reaped, so that they all end at once.
    void killAll() {
        for (Worker& worker : workers) {
            ::kill(worker.process.pid(), SIGKILL);
        }
        workers.clear();
    }

    // After a stop: the replies already complete are consumed in queue order; the files
    // interrupted are left without one.
    void deliverReceived() {
        for (; head < files.size(); ++head) {
            FileSlot& slot = files[head];
            if (slot.state != FileState::replied) {
                continue;
            }
            while (!slot.replies.empty()) {
                StepReply reply = std::move(slot.replies.front());
                slot.replies.pop_front();
                if (!reply.final()) {
                    continue;
                }
                (*consumer)(head, std::move(reply));
                emit(BatchEvent::Kind::fileFinished, head);
            }
            slot.state = FileState::consumed;
        }
    }
};

EngineWorkers::EngineWorkers(WorkerSettings settings) : m_state(std::make_unique<State>()) {
    m_state->settings = std::move(settings);
}

EngineWorkers::~EngineWorkers() {
    m_state->killAll();
}

bool EngineWorkers::run(const std::vector<EngineStep>& steps, const Consumer& consumer,
                        const Hooks& hooks) {
    State& state = *m_state;
    state.steps = &steps;
    state.consumer = &consumer;
    state.hooks = &hooks;
    state.files = std::vector<FileSlot>(steps.size());
    state.head = 0;
    state.stopEvent = UniqueFd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    const int stopFd = state.stopEvent.get();
    const std::stop_callback onStop(hooks.stop, [stopFd] {
        const std::uint64_t one = 1;
        [[maybe_unused]] const auto written = ::write(stopFd, &one, sizeof(one));
    });
    bool stopped = hooks.stop.stop_requested();
    while (!stopped) {
        state.deliver();
        if (state.head >= steps.size()) {
            break;
        }
        state.dispatchAll();
        state.deliver();
        if (state.head >= steps.size()) {
            break;
        }
        stopped = !state.waitOnce();
    }
    if (stopped) {
        state.killAll();
        state.deliverReceived();
    }
    return !stopped;
}

std::vector<pid_t> EngineWorkers::workerPids() const {
    std::vector<pid_t> pids;
    for (Worker& worker : m_state->workers) {
        pids.push_back(worker.process.pid());
    }
    return pids;
}

std::optional<UniqueFd> openSource(const fs::path& source) {
    UniqueFd fd(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
    struct stat status {};
    if (!fd || ::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        return std::nullopt;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<Bytes> replyBytes(const StepReply& reply) {
    if (reply.kind == StepReply::Kind::failure || reply.message.fds.empty()) {
        return std::nullopt;
    }
    return readAllFrom(reply.message.fds.front().get());
}

bool runOnWorkers(const WorkerSettings& settings, const std::vector<EngineStep>& steps,
                  const EngineWorkers::Consumer& consumer, const EngineWorkers::Hooks& hooks) {
    EngineWorkers pool(settings);
    return pool.run(steps, consumer, hooks);
}

std::uint64_t defaultAddressSpaceLimit() {
#if defined(__SANITIZE_ADDRESS__)
    return 0;
#else
    constexpr std::uint64_t kCeiling = 8ull << 30;
    const long pages = ::sysconf(_SC_PHYS_PAGES);
    const long pageBytes = ::sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageBytes <= 0) {
        return kCeiling;
    }
    return std::min(kCeiling,
                    static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageBytes) / 2);
#endif
}

WorkerSettings besideThisProgram() {
    WorkerSettings settings;
    if (const char* chosen = std::getenv("PARVO_WORKER_EXECUTABLE"); chosen && *chosen) {
        settings.executable = chosen;
    } else {
        std::error_code error;
        settings.executable =
            fs::read_symlink("/proc/self/exe", error).parent_path() / "parvo-worker";
    }
    return settings;
}

bool workerProgramRunnable(const WorkerSettings& settings) {
    return ::access(settings.executable.c_str(), X_OK) == 0;
}
