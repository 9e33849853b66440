// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/OCRCommand.h"

#include "Cli/CommandLine.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;
using namespace OCRWorkflow;

namespace {

struct Request {
    std::vector<std::string> paths;
    bool help = false;
    std::optional<WorkerSettings> workers;
};

std::optional<Request> parse(const std::vector<std::string>& arguments) {
    const auto parsed = CommandLine::parse(arguments, CommandLine::kWorkerOptions);
    const auto workers = parsed ? CommandLine::workerSettings(*parsed) : std::nullopt;
    if (!workers) {
        return std::nullopt;
    }
    return Request{parsed->paths, parsed->help, *workers};
}

} // namespace

namespace OCRCommand {

std::string usage() {
    return "usage: parvo ocr [--jobs N] [--file-timeout SECONDS] PATH...\n"
           "\n"
           "Makes scans (png, jpg, jpeg, heic, heif, tiff, gif) and PDFs searchable: each file\n"
           "gets an invisible text layer and is written beside it as NAME-searchable.pdf,\n"
           "replacing the output of an earlier run. Sources are never modified; folders are\n"
           "not searched.\n"
           "\n" +
           CommandLine::workerUsage() +
           "\n"
           "Exit status: 0 when every file was written; 1 when a file failed or a path was not\n"
           "a scan or PDF; 2 on bad arguments; 130 or 143 when Ctrl-C or SIGTERM stopped it.\n";
}

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::stop_token stop, const Builder& builder) {
    const auto request = parse(arguments);
    if (!request) {
        err << usage();
        return kBadArguments;
    }
    if (request->help) {
        out << usage();
        return kSuccess;
    }
    // A test's builder runs in this process; the engine runs in the workers.
    const std::optional<WorkerSettings> workers = builder ? std::nullopt : request->workers;
    if (!CommandLine::workersRunnable(workers, err)) {
        return kFailure;
    }
    std::vector<fs::path> queue;
    bool ok = CommandLine::collectFiles(request->paths, accepts, "not a scan or PDF", queue, err);
    std::vector<std::string> names;
    for (const fs::path& source : queue) {
        names.push_back(source.filename().string());
    }
    CommandLine::ProgressLine progress(err, CommandLine::isTerminal(err), std::move(names));
    BatchHooks hooks;
    hooks.stop = stop;
    hooks.builder = builder;
    hooks.workers = workers;
    hooks.events = [&](const BatchEvent& event) { progress.show(event); };
    hooks.rowDone = [&](const ResultRow& row) {
        progress.clear();
        ResultRows::print(row, Screen::ocr, out);
        if (!FileOutcomes::succeeded(row.outcome)) {
            CommandLine::reportFailure(err, row.name, row.cause,
                                       ResultRows::note(row, Screen::ocr));
            ok = false;
        }
    };
    const auto rows = runBatch(queue, hooks);
    progress.clear();
    if (rows.size() < queue.size()) {
        err << "parvo: stopped; " << queue.size() - rows.size() << " file(s) not processed\n";
        ok = false;
    }
    return ok ? kSuccess : kFailure;
}

} // namespace OCRCommand
