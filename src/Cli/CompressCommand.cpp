// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/CompressCommand.h"

#include "Cli/CommandLine.h"
#include "Workflows/CompressWorkflow.h"
#include "Workflows/TargetChoice.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace fs = std::filesystem;
using namespace CompressWorkflow;

namespace {

struct Request {
    TargetChoice choice = TargetChoice::email;
    std::vector<std::string> paths;
    bool help = false;
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

std::optional<Request> parse(const std::vector<std::string>& arguments) {
    std::vector<std::string_view> withValue = CommandLine::kWorkerOptions;
    withValue.push_back("--target");
    const auto parsed = CommandLine::parse(arguments, withValue);
    const auto workers = parsed ? CommandLine::workerSettings(*parsed) : std::nullopt;
    if (!workers) {
        return std::nullopt;
    }
    Request request{TargetChoice::email, parsed->paths, parsed->help, *workers};
    if (const auto target = parsed->values.find("--target"); target != parsed->values.end()) {
        const auto choice = choiceNamed(target->second);
        if (!choice) {
            return std::nullopt;
        }
        request.choice = *choice;
    }
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
    return "usage: parvo compress [--target email|web|small] [--jobs N] [--file-timeout SECONDS] "
           "PATH...\n"
           "\n"
           "Compresses images (png, jpg, jpeg, heic, heif, tiff, gif) and PDFs towards a size\n"
           "target: email 10 MB (the default), web 1 MB, small 2 MB. A file's result is\n"
           "written beside it as NAME-small.jpg or NAME-small.pdf; a folder is mirrored into\n"
           "a sibling folder named \"FOLDER \u2014 Parvo\". Sources are never modified.\n"
           "\n" +
           CommandLine::workerUsage() +
           "\n"
           "Exit status: 0 when every file was written, copied or already optimized; 1 when a\n"
           "file failed or a path gave nothing to compress; 2 on bad arguments; 130 or 143\n"
           "when Ctrl-C or SIGTERM stopped it.\n";
}

int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::stop_token stop) {
    const auto request = parse(arguments);
    if (!request) {
        err << usage();
        return kBadArguments;
    }
    if (request->help) {
        out << usage();
        return kSuccess;
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
