// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/PDFToolsCommand.h"

#include "Cli/CommandLine.h"
#include "Workflows/PDFToolsWorkflow.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;
using namespace PDFToolsWorkflow;

namespace {

struct Request {
    Options options;
    std::vector<std::string> paths;
    bool help = false;
    std::optional<WorkerSettings> workers;
};

std::optional<Op> opNamed(std::string_view command) {
    if (command == "merge") {
        return Op::merge;
    }
    if (command == "split") {
        return Op::split;
    }
    if (command == "extract") {
        return Op::extract;
    }
    return std::nullopt;
}

// The usage texts: a synopsis and a summary per operation, then what all three share.
std::string_view synopsisOf(Op op) {
    switch (op) {
    case Op::split:
        return "parvo split --every N [--jobs N] [--file-timeout SECONDS] PDF...";
    case Op::extract:
        return "parvo extract --pages RANGE [--jobs N] [--file-timeout SECONDS] PDF...";
    case Op::merge:
        break;
    }
    return "parvo merge [--jobs N] [--file-timeout SECONDS] PDF...";
}

std::string_view summaryOf(Op op) {
    switch (op) {
    case Op::split:
        return "split cuts each PDF into chunks of N pages (1 to 500), written as NAME-part1.pdf,\n"
               "NAME-part2.pdf, ...\n";
    case Op::extract:
        return "extract copies the pages of RANGE (for example 2-4, or 7; cut to each document)\n"
               "of each PDF into NAME-pL-U.pdf.\n";
    case Op::merge:
        break;
    }
    return "merge joins the pages of every PDF, in order, into merged.pdf in the first PDF's\n"
           "folder.\n";
}

constexpr std::string_view kRules =
    "\n"
    "Results are written beside their sources under names no file has yet (\"merged 2.pdf\",\n"
    "...); no file is ever replaced and sources are never modified.\n"
    "\n"
    "Exit status: 0 when every result was written; 1 when a file could not be opened\n"
    "or written, a range held no page, or a path was missing or not a PDF; 2 on bad\n"
    "arguments; 130 or 143 when Ctrl-C or SIGTERM stopped it.\n";

// Digits only, within the stepper's bounds.
std::optional<std::int64_t> chunkSize(const std::string& text) {
    std::int64_t value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || text.front() == '-' || error != std::errc() || stop != end ||
        value < kMinSplit || value > kMaxSplit) {
        return std::nullopt;
    }
    return value;
}

// The options each operation takes; a value is taken as it is, so `--pages -3` reads "-3".
std::vector<std::string_view> optionsOf(Op op) {
    std::vector<std::string_view> options = CommandLine::kWorkerOptions;
    if (op == Op::split) {
        options.push_back("--every");
    } else if (op == Op::extract) {
        options.push_back("--pages");
    }
    return options;
}

std::optional<Request> parse(Op op, const std::vector<std::string>& arguments) {
    const auto parsed = CommandLine::parse(arguments, optionsOf(op));
    const auto workers = parsed ? CommandLine::workerSettings(*parsed) : std::nullopt;
    if (!workers) {
        return std::nullopt;
    }
    Request request;
    request.workers = *workers;
    request.options.op = op;
    request.paths = parsed->paths;
    request.help = parsed->help;
    if (request.help) {
        return request;
    }
    const auto every = parsed->values.find("--every");
    const auto pages = parsed->values.find("--pages");
    if (op == Op::split) {
        const auto size = every == parsed->values.end() ? std::nullopt : chunkSize(every->second);
        if (!size) {
            return std::nullopt;
        }
        request.options.splitN = *size;
    }
    if (op == Op::extract) {
        if (pages == parsed->values.end()) {
            return std::nullopt;
        }
        request.options.range = parseRange(pages->second);
    }
    return request;
}

} // namespace

namespace PDFToolsCommand {

bool handles(std::string_view command) {
    return opNamed(command).has_value();
}

std::string usage() {
    return "usage: " + std::string(synopsisOf(Op::merge)) + "\n       " +
           std::string(synopsisOf(Op::split)) + "\n       " + std::string(synopsisOf(Op::extract)) +
           "\n\n" + std::string(summaryOf(Op::merge)) + std::string(summaryOf(Op::split)) +
           std::string(summaryOf(Op::extract)) + "\n" + CommandLine::workerUsage() +
           std::string(kRules);
}

std::string usage(std::string_view command) {
    const auto op = opNamed(command);
    if (!op) {
        return usage();
    }
    return "usage: " + std::string(synopsisOf(*op)) + "\n\n" + std::string(summaryOf(*op)) + "\n" +
           CommandLine::workerUsage() + std::string(kRules);
}

int run(std::string_view command, const std::vector<std::string>& arguments, std::ostream& out,
        std::ostream& err, std::stop_token stop) {
    const auto op = opNamed(command);
    const auto request = op ? parse(*op, arguments) : std::nullopt;
    if (!request) {
        err << usage(command);
        return kBadArguments;
    }
    if (request->help) {
        out << usage(command);
        return kSuccess;
    }
    if (!CommandLine::workersRunnable(request->workers, err)) {
        return kFailure;
    }
    std::vector<fs::path> queue;
    bool ok = CommandLine::collectFiles(request->paths, accepts, "not a PDF", queue, err);
    if (queue.empty()) {
        return kFailure;
    }
    std::vector<std::string> names;
    for (const fs::path& source : queue) {
        names.push_back(source.filename().string());
    }
    CommandLine::ProgressLine progress(err, CommandLine::isTerminal(err), std::move(names));
    BatchHooks hooks;
    hooks.stop = stop;
    hooks.workers = request->workers;
    hooks.events = [&](const BatchEvent& event) { progress.show(event); };
    hooks.rowDone = [&](const ResultRow& row) {
        progress.clear();
        ResultRows::print(row, Screen::pdfTools, out);
        if (!FileOutcomes::succeeded(row.outcome)) {
            CommandLine::reportFailure(err, row.name, row.cause,
                                       ResultRows::note(row, Screen::pdfTools));
            ok = false;
        }
    };
    // The merged row leaves out what could not be opened: say which, and fail.
    hooks.mergeInputLeftOut = [&](const fs::path& input, const OutcomeCause& cause) {
        progress.clear();
        CommandLine::reportFailure(err, input.filename().string(), cause, "couldn't open");
        ok = false;
    };
    runBatch(queue, request->options, hooks);
    progress.clear();
    if (stop.stop_requested()) {
        err << "parvo: stopped; the files not finished were left alone\n";
        ok = false;
    }
    return ok ? kSuccess : kFailure;
}

} // namespace PDFToolsCommand
