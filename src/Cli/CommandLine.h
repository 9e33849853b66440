// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Workflows/BatchEvents.h"
#include "Workflows/FileOutcome.h"
#include "Workflows/ResultRow.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace CLI {
class App;
}

/// What the headless commands share: their worker options and resolving paths the way a drop
/// on the window would.
namespace CommandLine {

/// The absolute, standardized location of an existing item; absent, with a line on `err`
/// saying why, when there is none.
std::optional<std::filesystem::path> resolve(const std::string& argument, std::ostream& err);

/// The files a command works on: every argument that resolves and that `accepts` takes, in
/// order, each once. Each other argument gets a line on `err` ("parvo: ARG: " and the reason,
/// `refusal` when `accepts` refused it). False when some argument was left out.
bool collectFiles(const std::vector<std::string>& arguments,
                  const std::function<bool(const std::filesystem::path&)>& accepts,
                  std::string_view refusal, std::vector<std::filesystem::path>& queue,
                  std::ostream& err);

/// The worker options every batch command takes, as read (0: not given).
struct WorkerOptions {
    int jobs = 0;
    int fileTimeoutSeconds = 0;
};

/// Adds --jobs N (1 to 256) and --file-timeout SECONDS (1 to 86400) to `app`, read into
/// `options`, in the group "Options for the batch".
void addWorkerOptions(CLI::App& app, WorkerOptions& options);

/// The workers beside this program with `options` applied (default: as many as cores, a
/// timeout of ten minutes). The environment variable PARVO_IN_PROCESS=1 gives no workers at
/// all (an unset `workers`): the benchmarks compare the two paths with it.
std::optional<WorkerSettings> workerSettings(const WorkerOptions& options);

/// False, with a line on `err`, when `workers` are set but their program cannot be run: every
/// file would fail, and the rows would blame the files.
bool workersRunnable(const std::optional<WorkerSettings>& workers, std::ostream& err);

/// One line on `err` about a file that failed: "parvo: NAME: " and the cause when one is known
/// ("needs a password", "damaged: …", "worker killed by signal 11"), otherwise the row's note.
void reportFailure(std::ostream& err, const std::string& name, const OutcomeCause& cause,
                   const std::string& note);

class ProgressLine;

/// A row as it finishes: the progress line cleared, the row's line on `out` and, for a row
/// that failed, its cause on `err`. False for a failed row.
bool showRow(const ResultRow& row, Screen screen, std::ostream& out, std::ostream& err,
             ProgressLine& progress);

/// The file names of `files`, for a progress line.
std::vector<std::string> fileNames(const std::vector<std::filesystem::path>& files);

/// Whether `stream` is the process's standard error and that is a terminal.
bool isTerminal(const std::ostream& stream);

/// One live line on a terminal while a batch runs: "file k/n name, page p/P, elapsed". Fed
/// with the batch's events; clear() removes it before a row is printed. Writes nothing when
/// not `live`.
class ProgressLine {
public:
    ProgressLine(std::ostream& err, bool live, std::vector<std::string> names);
    void show(const BatchEvent& event);
    void clear();

private:
    std::ostream& m_err;
    bool m_live;
    std::vector<std::string> m_names;
    std::chrono::steady_clock::time_point m_start;
    bool m_shown = false;
};

} // namespace CommandLine
