// SPDX-License-Identifier: GPL-3.0-or-later
#include "App/PdfToolsCommand.h"

#include "Engine/FolderScan.h"
#include "Workflows/PDFToolsWorkflow.h"

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;
using namespace PDFToolsWorkflow;

namespace {

struct Request {
    Options options;
    std::string rangeText;
    bool rangeGiven = false;
    std::vector<std::string> paths;
    bool help = false;
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

// An option with a value; false when it does not belong to the command or its value is bad.
bool takeOption(Request& request, const std::string& option, const std::string& value) {
    if (option == "--every" && request.options.op == Op::split) {
        const auto every = chunkSize(value);
        request.options.splitN = every.value_or(0);
        return every.has_value();
    }
    if (option == "--pages" && request.options.op == Op::extract) {
        request.rangeText = value;
        request.rangeGiven = true;
        return true;
    }
    return false;
}

bool requiredGiven(const Request& request, bool everyGiven) {
    switch (request.options.op) {
    case Op::split:
        return everyGiven;
    case Op::extract:
        return request.rangeGiven;
    case Op::merge:
        return true;
    }
    return false;
}

// Options may come anywhere before "--"; everything after "--" is a path. A value is taken
// as it is, so `--pages -3` reads the range "-3".
std::optional<Request> parse(Op op, const std::vector<std::string>& arguments) {
    Request request;
    request.options.op = op;
    bool optionsEnded = false;
    bool everyGiven = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.empty() || argument.front() != '-' || argument == "-") {
            request.paths.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            request.help = true;
        } else if (i + 1 < arguments.size() && takeOption(request, argument, arguments[i + 1])) {
            everyGiven = everyGiven || argument == "--every";
            ++i;
        } else {
            return std::nullopt;
        }
    }
    if (!request.help && (request.paths.empty() || !requiredGiven(request, everyGiven))) {
        return std::nullopt;
    }
    request.options.range = parseRange(request.rangeText);
    return request;
}

// An absolute, standardized location of an existing PDF, as a drop would give.
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
    if (!accepts(location)) {
        err << "parvo: " << argument << ": not a PDF\n";
        return std::nullopt;
    }
    return location;
}

// The queue in argument order without repeats; false when some path was left out.
bool collectQueue(const std::vector<std::string>& paths, std::vector<fs::path>& queue,
                  std::ostream& err) {
    bool everyPathQueued = true;
    for (const std::string& argument : paths) {
        const auto location = resolve(argument, err);
        if (!location) {
            everyPathQueued = false;
        } else if (std::find(queue.begin(), queue.end(), *location) == queue.end()) {
            queue.push_back(*location);
        }
    }
    return everyPathQueued;
}

} // namespace

namespace PdfToolsCommand {

bool handles(std::string_view command) {
    return opNamed(command).has_value();
}

std::string usage() {
    return "usage: parvo merge PDF...\n"
           "       parvo split --every N PDF...\n"
           "       parvo extract --pages RANGE PDF...\n"
           "\n"
           "merge joins the pages of every PDF, in order, into merged.pdf in the first PDF's\n"
           "folder. split cuts each PDF into chunks of N pages (1 to 500), written as\n"
           "NAME-part1.pdf, NAME-part2.pdf, ... extract copies the pages of RANGE (for\n"
           "example 2-4, or 7) of each PDF into NAME-pL-U.pdf. Results are written beside\n"
           "their sources under names no file has yet (\"merged 2.pdf\", ...); no file is\n"
           "ever replaced and sources are never modified.\n"
           "\n"
           "Exit status: 0 when every result was written; 1 when a file could not be opened\n"
           "or written, a range held no page, or a path was missing or not a PDF; 2 on bad\n"
           "arguments.\n";
}

int run(std::string_view command, const std::vector<std::string>& arguments, std::ostream& out,
        std::ostream& err, std::stop_token stop) {
    const auto op = opNamed(command);
    const auto request = op ? parse(*op, arguments) : std::nullopt;
    if (!request) {
        err << usage();
        return kBadArguments;
    }
    if (request->help) {
        out << usage();
        return kSuccess;
    }
    std::vector<fs::path> queue;
    bool ok = collectQueue(request->paths, queue, err);
    if (queue.empty()) {
        return kFailure;
    }
    BatchHooks hooks;
    hooks.stop = stop;
    hooks.rowDone = [&](const ResultRow& row) {
        ResultRows::print(row, out);
        ok = ok && row.saved.has_value();
    };
    runBatch(queue, request->options, hooks);
    if (stop.stop_requested()) {
        err << "parvo: stopped; the files not yet processed were left alone\n";
        ok = false;
    }
    return ok ? kSuccess : kFailure;
}

} // namespace PdfToolsCommand
