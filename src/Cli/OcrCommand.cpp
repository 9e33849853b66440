// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/OcrCommand.h"

#include "Cli/CommandLine.h"

#include <charconv>
#include <filesystem>
#include <optional>
#include <string_view>
#include <system_error>

namespace fs = std::filesystem;
using namespace OCRWorkflow;

namespace {

constexpr int kMaxWorkers = 8;

struct Request {
    int workers = BatchHooks{}.recognizers;
    std::vector<std::string> paths;
    bool help = false;
};

std::optional<int> workersNamed(std::string_view text) {
    int workers = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), workers);
    if (error != std::errc() || end != text.data() + text.size() || workers < 1 ||
        workers > kMaxWorkers) {
        return std::nullopt;
    }
    return workers;
}

std::optional<Request> parse(const std::vector<std::string>& arguments) {
    const auto parsed = CommandLine::parse(arguments, {"--workers"});
    if (!parsed) {
        return std::nullopt;
    }
    Request request;
    request.paths = parsed->paths;
    request.help = parsed->help;
    if (const auto workers = parsed->values.find("--workers"); workers != parsed->values.end()) {
        const auto count = workersNamed(workers->second);
        if (!count) {
            return std::nullopt;
        }
        request.workers = *count;
    }
    return request;
}

} // namespace

namespace OcrCommand {

std::string usage() {
    return "usage: parvo ocr PATH...\n"
           "\n"
           "Makes scans (png, jpg, jpeg, heic, heif, tiff, gif) and PDFs searchable: each file\n"
           "gets an invisible text layer and is written beside it as NAME-searchable.pdf,\n"
           "replacing the output of an earlier run. Sources are never modified; folders are\n"
           "not searched.\n"
           "\n"
           "Exit status: 0 when every file was written; 1 when a file failed or a path was not\n"
           "a scan or PDF; 2 on bad arguments.\n";
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
    std::vector<fs::path> queue;
    bool ok = CommandLine::collectFiles(request->paths, accepts, "not a scan or PDF", queue, err);
    BatchHooks hooks;
    hooks.stop = stop;
    hooks.builder = builder;
    hooks.recognizers = request->workers;
    hooks.rowDone = [&](const ResultRow& row) {
        ResultRows::print(row, out);
        ok = ok && row.saved.has_value();
    };
    const auto rows = runBatch(queue, hooks);
    if (rows.size() < queue.size()) {
        err << "parvo: stopped; " << queue.size() - rows.size() << " file(s) not processed\n";
        ok = false;
    }
    return ok ? kSuccess : kFailure;
}

} // namespace OcrCommand
