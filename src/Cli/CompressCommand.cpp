// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/CompressCommand.h"

#include "Cli/CommandLine.h"
#include "Cli/Syntax.h"
#include "Workflows/CompressWorkflow.h"
#include "Workflows/TargetChoice.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

namespace fs = std::filesystem;
using namespace CompressWorkflow;

namespace {

struct Request {
    TargetChoice choice = TargetChoice::email;
    std::vector<std::string> paths;
    bool keepText = false;
    std::optional<WorkerSettings> workers;
};

std::optional<TargetChoice> choiceNamed(std::string_view name) {
    if (name == "email") {
        return TargetChoice::email;
    }
    if (name == "web") {
        return TargetChoice::web;
    }
    if (name == "small") {
        return TargetChoice::small;
    }
    return std::nullopt;
}

// The command line, read into `target`, `request` and `workers`.
std::unique_ptr<CLI::App> syntax(std::string& target, Request& request,
                                 CommandLine::WorkerOptions& workers) {
    auto app = Syntax::app(
        "parvo compress",
        "Compresses images (png, jpg, jpeg, heic, heif, tiff, gif) and PDFs towards a size\n"
        "target: email 10 MB (the default), web 1 MB, small 2 MB. A file's result is\n"
        "written beside it as NAME-small.jpg or NAME-small.pdf; a folder is mirrored into\n"
        "a sibling folder named \"FOLDER \u2014 Parvo\". Sources are never modified.");
    app->add_option("--target", target)
        ->type_name("email|web|small")
        ->check(Syntax::oneOf({"email", "web", "small"}))
        ->group(Syntax::kUnlisted);
    app->add_flag("--keep-text", request.keepText,
                  "PDFs keep their text, links and bookmarks (pages become\n"
                  "pictures only when nothing else fits); a smaller result\n"
                  "still above the target is written and says so");
    CommandLine::addWorkerOptions(*app, workers);
    app->add_option("PATH", request.paths)->required();
    app->footer(
        "Exit status: 0 when every file was written, copied or already optimized; 1 when a\n"
        "file failed or a path gave nothing to compress; 2 on bad arguments; 130 or 143\n"
        "when Ctrl-C or SIGTERM stopped it.");
    return app;
}

// Absent, with `status` set, when there is nothing to run: after the help or bad arguments.
std::optional<Request> parse(const std::vector<std::string>& arguments, std::ostream& out,
                             std::ostream& err, int& status) {
    std::string target = "email";
    Request request;
    CommandLine::WorkerOptions workers;
    const auto reading = Syntax::read(*syntax(target, request, workers), arguments, out, err);
    if (reading != Syntax::Reading::proceed) {
        status = reading == Syntax::Reading::help ? CompressCommand::kSuccess
                                                  : CompressCommand::kBadArguments;
        return std::nullopt;
    }
    request.choice = choiceNamed(target).value_or(TargetChoice::email);
    request.workers = CommandLine::workerSettings(workers);
    return request;
}

// Jobs for every path in order, without duplicates; false when some path gave none.
bool collectJobs(const std::vector<std::string>& paths, std::vector<Job>& queue,
                 std::ostream& err) {
    bool everyPathGaveJobs = true;
    for (const std::string& argument : paths) {
        const auto location = CommandLine::resolve(argument, err);
        if (!location) {
            everyPathGaveJobs = false;
            continue;
        }
        const std::vector<Job> found = jobs(*location, acceptedExtensions());
        if (found.empty()) {
            err << "parvo: " << argument << ": nothing to compress\n";
            everyPathGaveJobs = false;
        }
        appendUnlessQueued(queue, found);
    }
    return everyPathGaveJobs;
}

void printRow(const Outcome& row, std::ostream& out) {
    out << row.name << "  " << resultText(row);
    if (row.saved) {
        out << "  " << row.saved->string();
    }
    out << std::endl; // one line at a time: a long batch shows its progress
}

} // namespace

namespace CompressCommand {

std::string usage() {
    std::string target;
    Request request;
    CommandLine::WorkerOptions workers;
    return syntax(target, request, workers)->help();
}

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::stop_token stop) {
    int status = kSuccess;
    const auto request = parse(arguments, out, err, status);
    if (!request) {
        return status;
    }
    if (!CommandLine::workersRunnable(request->workers, err)) {
        return kFailure;
    }
    std::vector<Job> queue;
    bool ok = collectJobs(request->paths, queue, err);
    std::vector<std::string> names;
    for (const Job& job : queue) {
        names.push_back(job.name());
    }
    CommandLine::ProgressLine progress(err, CommandLine::isTerminal(err), std::move(names));
    BatchHooks hooks;
    hooks.stop = stop;
    hooks.workers = request->workers;
    hooks.keepText = request->keepText;
    hooks.events = [&](const BatchEvent& event) { progress.show(event); };
    hooks.rowDone = [&](const Outcome& row) {
        progress.clear();
        printRow(row, out);
        if (!FileOutcomes::succeeded(row.outcome)) {
            CommandLine::reportFailure(err, row.name, row.cause, resultText(row));
            ok = false;
        }
    };
    const auto rows = runBatch(queue, target(request->choice), hooks);
    progress.clear();
    if (rows.size() < queue.size()) {
        err << "parvo: stopped; " << queue.size() - rows.size() << " file(s) not processed\n";
        ok = false;
    }
    return ok ? kSuccess : kFailure;
}

} // namespace CompressCommand
