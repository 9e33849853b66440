// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/OCRCommand.h"

#include "Cli/CommandLine.h"
#include "Cli/Syntax.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>

namespace fs = std::filesystem;
using namespace OCRWorkflow;

namespace {

struct Request {
    std::vector<std::string> paths;
    bool keepBookmarks = false;
    std::optional<WorkerSettings> workers;
};

// The command line, read into `request` and `workers`.
std::unique_ptr<CLI::App> syntax(Request& request, CommandLine::WorkerOptions& workers) {
    auto app = Syntax::app(
        "parvo ocr",
        "Makes scans (png, jpg, jpeg, heic, heif, tiff, gif) and PDFs searchable: each file\n"
        "gets an invisible text layer and is written beside it as NAME-searchable.pdf,\n"
        "replacing the output of an earlier run. Sources are never modified; folders are\n"
        "not searched.");
    app->add_flag("--keep-bookmarks", request.keepBookmarks,
                  "a PDF's searchable copy keeps its bookmarks, links and document information");
    CommandLine::addWorkerOptions(*app, workers);
    app->add_option("PATH", request.paths)->required();
    app->footer(
        "Exit status: 0 when every file was written; 1 when a file failed or a path was not\n"
        "a scan or PDF; 2 on bad arguments; 130 or 143 when Ctrl-C or SIGTERM stopped it.");
    return app;
}

// Absent, with `status` set, when there is nothing to run: after the help or bad arguments.
std::optional<Request> parse(const std::vector<std::string>& arguments, std::ostream& out,
                             std::ostream& err, int& status) {
    Request request;
    CommandLine::WorkerOptions workers;
    const auto reading = Syntax::read(*syntax(request, workers), arguments, out, err);
    if (reading != Syntax::Reading::proceed) {
        status =
            reading == Syntax::Reading::help ? OCRCommand::kSuccess : OCRCommand::kBadArguments;
        return std::nullopt;
    }
    request.workers = CommandLine::workerSettings(workers);
    return request;
}

} // namespace

namespace OCRCommand {

std::string usage() {
    Request request;
    CommandLine::WorkerOptions workers;
    return syntax(request, workers)->help();
}

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::stop_token stop, const Builder& builder) {
    int status = kSuccess;
    const auto request = parse(arguments, out, err, status);
    if (!request) {
        return status;
    }
    // A test's builder runs in this process; the engine runs in the workers.
    const std::optional<WorkerSettings> workers = builder ? std::nullopt : request->workers;
    if (!CommandLine::workersRunnable(workers, err)) {
        return kFailure;
    }
    std::vector<fs::path> queue;
    bool ok = CommandLine::collectFiles(request->paths, accepts, "not a scan or PDF", queue, err);
    CommandLine::ProgressLine progress(err, CommandLine::isTerminal(err),
                                       CommandLine::fileNames(queue));
    BatchHooks hooks;
    hooks.stop = stop;
    hooks.builder = builder;
    hooks.workers = workers;
    hooks.keepStructure = request->keepBookmarks;
    hooks.events = [&](const BatchEvent& event) { progress.show(event); };
    hooks.rowDone = [&](const ResultRow& row) {
        ok = CommandLine::showRow(row, Screen::ocr, out, err, progress) && ok;
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
