// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform/WorkerProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr int kChildSocketFd = 3;

// The descriptor the child finds as 3. Both ends are close-on-exec; dup2 onto 3 clears that
// for the child's copy alone.
struct SocketPair {
    UniqueFd parent;
    UniqueFd child;
};

std::optional<SocketPair> makeSocketPair() {
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return std::nullopt;
    SocketPair pair{UniqueFd(ends[0]), UniqueFd(ends[1])};
    // dup2(3, 3) would leave close-on-exec set: keep the child's end away from 3.
    if (pair.child.get() == kChildSocketFd) {
        pair.child = UniqueFd(::fcntl(kChildSocketFd, F_DUPFD_CLOEXEC, kChildSocketFd + 1));
        if (!pair.child)
            return std::nullopt;
    }
    return pair;
}

std::vector<std::string> argumentsFor(const WorkerProcess::Options& options) {
    std::vector<std::string> arguments = {options.executable.string(), "--fd",
                                          std::to_string(kChildSocketFd)};
    if (options.addressSpaceBytes > 0) {
        arguments.push_back("--address-space");
        arguments.push_back(std::to_string(options.addressSpaceBytes));
    }
    arguments.push_back("--sandbox");
    arguments.push_back(options.sandbox ? "1" : "0");
    return arguments;
}

std::optional<pid_t> spawn(const WorkerProcess::Options& options, int childSocket) {
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0)
        return std::nullopt;
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    if (!options.showErrors)
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, childSocket, kChildSocketFd);
    // Descriptors another thread opened without close-on-exec must not leak into the worker.
    posix_spawn_file_actions_addclosefrom_np(&actions, kChildSocketFd + 1);
    // Signals this process blocks (a signal-watching thread) must reach the worker unblocked.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    // A process group of its own: Ctrl-C on a terminal goes to the foreground group, and
    // must reach the parent (which stops the batch and kills its workers), not kill the
    // workers first and turn the files in progress into failure rows.
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);

    const std::vector<std::string> arguments = argumentsFor(options);
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int error = posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0)
        return std::nullopt;
    return pid;
}

bool readableWithin(int fd, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watched{fd, POLLIN, 0};
        const int ready = ::poll(&watched, 1, static_cast<int>(std::max<long>(left.count(), 0)));
        if (ready < 0 && errno == EINTR)
            continue;
        return ready > 0;
    }
}

bool saysReady(std::optional<WorkerMessage> message, pid_t pid) {
    if (!message)
        return false;
    const auto& header = message->header;
    return header.value("type", "") == "ready" && header.contains("pid") &&
           header["pid"].is_number_integer() && header["pid"].get<pid_t>() == pid;
}

} // namespace

WorkerProcess::WorkerProcess(pid_t pid, UniqueFd socket)
    : m_pid(pid), m_channel(std::move(socket)) {}

std::optional<WorkerProcess> WorkerProcess::spawned(const Options& options) {
    auto pair = makeSocketPair();
    if (!pair)
        return std::nullopt;
    const auto begun = std::chrono::steady_clock::now();
    const auto pid = spawn(options, pair->child.get());
    if (!pid)
        return std::nullopt;
    WorkerProcess worker(*pid, std::move(pair->parent));
    worker.m_spawnedAt = begun;
    return worker;
}

bool WorkerProcess::awaitReady(std::chrono::milliseconds timeout) {
    if (!readableWithin(m_channel.fd(), timeout) || !saysReady(m_channel.receive(), m_pid)) {
        kill();
        return false;
    }
    m_startDuration = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - m_spawnedAt);
    return true;
}

std::optional<WorkerProcess> WorkerProcess::start(const Options& options) {
    auto worker = spawned(options);
    if (!worker || !worker->awaitReady(options.readyTimeout))
        return std::nullopt;
    return worker;
}

std::vector<WorkerProcess> WorkerProcess::startMany(const Options& options, int count) {
    std::vector<WorkerProcess> starting;
    for (int i = 0; i < count; ++i)
        if (auto worker = spawned(options))
            starting.push_back(std::move(*worker));
    // Each waits in turn, but all load their libraries at once: the deadline is common.
    const auto deadline = std::chrono::steady_clock::now() + options.readyTimeout;
    std::vector<WorkerProcess> ready;
    for (WorkerProcess& worker : starting) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (worker.awaitReady(std::max(left, std::chrono::milliseconds(0))))
            ready.push_back(std::move(worker));
    }
    return ready;
}

WorkerProcess::WorkerProcess(WorkerProcess&& other) noexcept
    : m_pid(std::exchange(other.m_pid, -1)), m_channel(std::move(other.m_channel)),
      m_waitStatus(other.m_waitStatus), m_spawnedAt(other.m_spawnedAt),
      m_startDuration(other.m_startDuration) {}

WorkerProcess& WorkerProcess::operator=(WorkerProcess&& other) noexcept {
    if (this != &other) {
        kill();
        m_pid = std::exchange(other.m_pid, -1);
        m_channel = std::move(other.m_channel);
        m_waitStatus = other.m_waitStatus;
        m_spawnedAt = other.m_spawnedAt;
        m_startDuration = other.m_startDuration;
    }
    return *this;
}

WorkerProcess::~WorkerProcess() {
    kill();
}

void WorkerProcess::kill() {
    if (m_pid <= 0 || m_waitStatus)
        return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0) {
        if (errno != EINTR)
            return;
    }
    m_waitStatus = status;
}

bool WorkerProcess::quit(std::chrono::milliseconds grace) {
    m_channel.send({{{"type", "quit"}}, {}, {}});
    const auto deadline = std::chrono::steady_clock::now() + grace;
    while (!ended() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    const bool endedByItself = ended();
    kill();
    return endedByItself;
}

bool WorkerProcess::ended() {
    if (m_pid <= 0 || m_waitStatus)
        return true;
    int status = 0;
    if (::waitpid(m_pid, &status, WNOHANG) != m_pid)
        return false;
    m_waitStatus = status;
    return true;
}

int WorkerProcess::terminatingSignal() const {
    return m_waitStatus && WIFSIGNALED(*m_waitStatus) ? WTERMSIG(*m_waitStatus) : 0;
}

std::string WorkerProcess::exitDescription() const {
    if (!m_waitStatus)
        return "running";
    const int status = *m_waitStatus;
    if (WIFEXITED(status))
        return "exited with status " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) {
        const int signal = WTERMSIG(status);
        const char* description = ::sigdescr_np(signal);
        return "killed by signal " + std::to_string(signal) +
               (description ? " (" + std::string(description) + ")" : std::string());
    }
    return "ended";
}
