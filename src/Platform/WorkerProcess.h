// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Sandbox.h"
#include "Platform/WorkerChannel.h"

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

/// One running engine worker (`parvo-worker`), a direct child of this process, and the
/// channel to it. Started with posix_spawn (safe in a multi-threaded parent): the child gets
/// its end of a socket pair as descriptor 3, /dev/null as standard input and output, and no
/// other descriptor. Its standard error is /dev/null too, unless asked for: what a failing
/// library prints on its way down belongs to the file's row, not to this process's stderr.
///
/// The worker kills itself when the thread that started it ends (PR_SET_PDEATHSIG follows the
/// starting thread, not the process): start workers on a thread that outlives them.
///
/// Move-only; destroying a running worker kills it. Not thread-safe: one thread manages it,
/// though the channel may be read on one thread while another sends.
class WorkerProcess {
public:
    struct Options {
        std::filesystem::path executable;
        std::uint64_t addressSpaceBytes = 0; // the worker's RLIMIT_AS; 0 = none
        bool sandbox = true;
        std::chrono::milliseconds readyTimeout{10'000};
        // The worker's stderr is this process's: by default in a sanitizer build, for its reports.
        bool showErrors = Sandbox::underSanitizer();
    };

    /// Spawns the worker and waits for its "ready" message. Absent when it cannot be
    /// spawned, or does not say "ready" in time (it is then killed and reaped).
    static std::optional<WorkerProcess> start(const Options& options);

    /// `count` workers spawned at once, so that they load their libraries side by side, then
    /// awaited (one readyTimeout for all): those that said "ready", fewer when some failed.
    static std::vector<WorkerProcess> startMany(const Options& options, int count);

    WorkerProcess(WorkerProcess&& other) noexcept;
    WorkerProcess& operator=(WorkerProcess&& other) noexcept;
    WorkerProcess(const WorkerProcess&) = delete;
    WorkerProcess& operator=(const WorkerProcess&) = delete;
    ~WorkerProcess();

    pid_t pid() const { return m_pid; }
    WorkerChannel& channel() { return m_channel; }

    /// From the exec to the ready message.
    std::chrono::microseconds startDuration() const { return m_startDuration; }

    /// SIGKILL (unless it has ended already) and reaped: it never stays a zombie. Idempotent.
    void kill();

    /// Asks the worker to quit, waits up to `grace` for it to end, then kills it. True when it
    /// ended by itself (see exitDescription for how).
    bool quit(std::chrono::milliseconds grace);

    /// Reaps the worker if it has ended, without waiting. True once it has ended.
    bool ended();

    /// How the worker ended ("exited with status 1", "killed by signal 11 (Segmentation
    /// fault)"), or "running".
    std::string exitDescription() const;
    /// The signal that ended the worker; 0 while it runs or when it exited by itself.
    int terminatingSignal() const;

private:
    WorkerProcess(pid_t pid, UniqueFd socket);
    static std::optional<WorkerProcess> spawned(const Options& options);
    bool awaitReady(std::chrono::milliseconds timeout);

    pid_t m_pid = -1;
    WorkerChannel m_channel;
    std::optional<int> m_waitStatus;
    std::chrono::steady_clock::time_point m_spawnedAt;
    std::chrono::microseconds m_startDuration{0};
};
