// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/CommandLine.h"

#include "Cli/Syntax.h"
#include "Engine/FolderScan.h"
#include "Workflows/EngineWorkers.h"
#include "Workflows/OutcomeText.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <system_error>
#include <unistd.h>

namespace fs = std::filesystem;

namespace CommandLine {

std::optional<fs::path> resolve(const std::string& argument, std::ostream& err) {
    std::error_code error;
    const fs::path location = FolderScan::standardized(fs::absolute(argument, error));
    if (!error && !fs::exists(location, error) && !error) {
        error = std::make_error_code(std::errc::no_such_file_or_directory);
    }
    if (error) {
        err << "parvo: " << argument << ": " << error.message() << "\n";
        return std::nullopt;
    }
    return location;
}

bool collectFiles(const std::vector<std::string>& arguments,
                  const std::function<bool(const fs::path&)>& accepts, std::string_view refusal,
                  std::vector<fs::path>& queue, std::ostream& err) {
    bool everyArgumentTaken = true;
    for (const std::string& argument : arguments) {
        const auto location = resolve(argument, err);
        if (!location) {
            everyArgumentTaken = false;
        } else if (!accepts(*location)) {
            err << "parvo: " << argument << ": " << refusal << "\n";
            everyArgumentTaken = false;
        } else if (std::find(queue.begin(), queue.end(), *location) == queue.end()) {
            queue.push_back(*location);
        }
    }
    return everyArgumentTaken;
}

namespace {

std::string elapsedText(std::chrono::steady_clock::duration elapsed) {
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(elapsed).count();
    const auto rest = seconds % 60;
    return std::to_string(seconds / 60) + (rest < 10 ? ":0" : ":") + std::to_string(rest);
}

} // namespace

void addWorkerOptions(CLI::App& app, WorkerOptions& options) {
    const std::string group = "Options for the batch";
    app.add_option("--jobs", options.jobs,
                   "files at once, each in a worker process of its own\n"
                   "(1 to 256; default: the number of cores)")
        ->type_name("N")
        ->check(Syntax::wholeNumber(1, 256))
        ->group(group);
    app.add_option("--file-timeout", options.fileTimeoutSeconds,
                   "a worker silent this long on one file is ended and\n"
                   "the file fails (1 to 86400; default 600)")
        ->type_name("SECONDS")
        ->check(Syntax::wholeNumber(1, 86400))
        ->group(group);
}

std::optional<WorkerSettings> workerSettings(const WorkerOptions& options) {
    const char* inProcess = std::getenv("PARVO_IN_PROCESS");
    if (inProcess != nullptr && std::string_view(inProcess) == "1") {
        return std::nullopt;
    }
    WorkerSettings settings = besideThisProgram();
    if (options.jobs > 0) {
        settings.jobs = options.jobs;
    }
    if (options.fileTimeoutSeconds > 0) {
        settings.fileTimeout = std::chrono::seconds(options.fileTimeoutSeconds);
    }
    return settings;
}

bool workersRunnable(const std::optional<WorkerSettings>& workers, std::ostream& err) {
    if (!workers || workerProgramRunnable(*workers)) {
        return true;
    }
    err << "parvo: cannot run the engine worker " << workers->executable.string() << ": "
        << std::error_code(errno, std::generic_category()).message() << "\n";
    return false;
}

bool isTerminal(const std::ostream& stream) {
    return &stream == &std::cerr && ::isatty(STDERR_FILENO) == 1;
}

ProgressLine::ProgressLine(std::ostream& err, bool live, std::vector<std::string> names)
    : m_err(err), m_live(live), m_names(std::move(names)),
      m_start(std::chrono::steady_clock::now()) {}

void ProgressLine::show(const BatchEvent& event) {
    if (!m_live || event.kind == BatchEvent::Kind::fileFinished || event.file >= m_names.size()) {
        return;
    }
    std::string line = "file " + std::to_string(event.file + 1) + "/" +
                       std::to_string(event.fileCount) + "  " + m_names[event.file];
    if (event.kind == BatchEvent::Kind::pages && event.pageCount > 0) {
        line += "  page " + std::to_string(event.pagesDone) + "/" + std::to_string(event.pageCount);
    }
    line += "  " + elapsedText(std::chrono::steady_clock::now() - m_start);
    m_err << "\r\033[K" << line << std::flush;
    m_shown = true;
}

void ProgressLine::clear() {
    if (m_shown) {
        m_err << "\r\033[K" << std::flush;
        m_shown = false;
    }
}

void reportFailure(std::ostream& err, const std::string& name, const OutcomeCause& cause,
                   const std::string& note) {
    const std::string known = OutcomeText::cause(cause);
    err << "parvo: " << name << ": " << (known.empty() ? note : known) << "\n";
}

bool showRow(const ResultRow& row, Screen screen, std::ostream& out, std::ostream& err,
             ProgressLine& progress) {
    progress.clear();
    ResultRows::print(row, screen, out);
    if (FileOutcomes::succeeded(row.outcome)) {
        return true;
    }
    reportFailure(err, row.name, row.cause, ResultRows::note(row, screen));
    return false;
}

std::vector<std::string> fileNames(const std::vector<fs::path>& files) {
    std::vector<std::string> names;
    names.reserve(files.size());
    for (const fs::path& file : files) {
        names.push_back(file.filename().string());
    }
    return names;
}

} // namespace CommandLine
