// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/PDFToolsCommand.h"

#include "Cli/CommandLine.h"
#include "Cli/Syntax.h"
#include "Workflows/PDFToolsWorkflow.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <system_error>

namespace fs = std::filesystem;
using namespace PDFToolsWorkflow;

namespace {

struct Request {
    Options options;
    std::vector<std::string> paths;
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

std::string_view nameOf(Op op) {
    switch (op) {
    case Op::split:
        return "split";
    case Op::extract:
        return "extract";
    case Op::merge:
    case Op::splitAtBookmarks:
        break;
    }
    return "merge";
}

std::string_view summaryOf(Op op) {
    switch (op) {
    case Op::split:
        return "split cuts each PDF into chunks of N pages (1 to 500), written as NAME-part1.pdf,\n"
               "NAME-part2.pdf, ...; with --at-bookmarks instead, into one file per top-level\n"
               "bookmark, named NAME-TITLE.pdf and keeping its part of the bookmarks.\n";
    case Op::extract:
        return "extract copies the pages of RANGE (for example 2-4, or 7; cut to each document)\n"
               "of each PDF into NAME-pL-U.pdf.\n";
    case Op::merge:
    case Op::splitAtBookmarks:
        break;
    }
    return "merge joins the pages of every PDF, in order, into merged.pdf in the first PDF's\n"
           "folder.\n";
}

constexpr std::string_view kRules =
    "Results are written beside their sources under names no file has yet (\"merged 2.pdf\",\n"
    "...); no file is ever replaced and sources are never modified.\n"
    "\n"
    "Exit status: 0 when every result was written; 1 when a file could not be opened\n"
    "or written, a range held no page, a PDF had no bookmarks to split at, or a path\n"
    "was missing or not a PDF; 2 on bad arguments; 130 or 143 when Ctrl-C or SIGTERM\n"
    "stopped it.\n";

// The command line of `op`, read into `request`, `pages` and `workers`. A value is taken as
// it is, so `--pages -3` reads "-3".
std::unique_ptr<CLI::App> syntax(Op op, Request& request, std::string& pages, bool& atBookmarks,
                                 CommandLine::WorkerOptions& workers) {
    auto app = Syntax::app("parvo " + std::string(nameOf(op)), std::string(summaryOf(op)));
    if (op == Op::split) {
        CLI::Option* every = app->add_option("--every", request.options.splitN)
                                 ->type_name("N")
                                 ->check(Syntax::wholeNumber(kMinSplit, kMaxSplit))
                                 ->group(Syntax::kUnlisted);
        app->add_flag("--at-bookmarks", atBookmarks,
                      "one file per top-level bookmark instead of chunks of N pages")
            ->excludes(every);
    } else if (op == Op::extract) {
        app->add_option("--pages", pages)->type_name("RANGE")->required()->group(Syntax::kUnlisted);
    }
    app->add_flag("--keep-bookmarks", request.options.keepBookmarks,
                  op == Op::merge ? "keep each PDF's bookmarks, under one bookmark per PDF"
                                  : "keep the bookmarks of the pages each result holds");
    CommandLine::addWorkerOptions(*app, workers);
    app->add_option("PDF", request.paths)->required();
    app->footer(std::string(kRules));
    return app;
}

// Absent, with `status` set, when there is nothing to run: after the help or bad arguments.
std::optional<Request> parse(Op op, const std::vector<std::string>& arguments, std::ostream& out,
                             std::ostream& err, int& status) {
    Request request;
    request.options.op = op;
    request.options.splitN = 0;
    std::string pages;
    bool atBookmarks = false;
    CommandLine::WorkerOptions workers;
    const auto app = syntax(op, request, pages, atBookmarks, workers);
    const auto reading = Syntax::read(*app, arguments, out, err);
    if (reading != Syntax::Reading::proceed) {
        status = reading == Syntax::Reading::help ? PDFToolsCommand::kSuccess
                                                  : PDFToolsCommand::kBadArguments;
        return std::nullopt;
    }
    if (op == Op::split && !atBookmarks && request.options.splitN == 0) {
        err << Syntax::refusal(app->get_name(), "--every or --at-bookmarks is required",
                               app->help());
        status = PDFToolsCommand::kBadArguments;
        return std::nullopt;
    }
    if (atBookmarks) {
        request.options.op = Op::splitAtBookmarks;
    }
    request.workers = CommandLine::workerSettings(workers);
    if (op == Op::extract) {
        request.options.range = parseRange(pages);
    }
    return request;
}

} // namespace

namespace PDFToolsCommand {

bool handles(std::string_view command) {
    return opNamed(command).has_value();
}

std::string usage() {
    std::vector<std::string> forms;
    std::string summaries;
    for (const Op op : {Op::merge, Op::split, Op::extract}) {
        Request request;
        std::string pages;
        bool atBookmarks = false;
        CommandLine::WorkerOptions workers;
        forms.push_back(Syntax::synopsis(*syntax(op, request, pages, atBookmarks, workers)));
        summaries += summaryOf(op);
    }
    CommandLine::WorkerOptions workers;
    auto app = Syntax::app("parvo", summaries, forms);
    CommandLine::addWorkerOptions(*app, workers);
    app->footer(std::string(kRules));
    return app->help();
}

std::string usage(std::string_view command) {
    const auto op = opNamed(command);
    if (!op) {
        return usage();
    }
    Request request;
    std::string pages;
    bool atBookmarks = false;
    CommandLine::WorkerOptions workers;
    return syntax(*op, request, pages, atBookmarks, workers)->help();
}

int run(std::string_view command, const std::vector<std::string>& arguments, std::ostream& out,
        std::ostream& err, std::stop_token stop) {
    const auto op = opNamed(command);
    if (!op) {
        err << usage();
        return kBadArguments;
    }
    int status = kSuccess;
    const auto request = parse(*op, arguments, out, err, status);
    if (!request) {
        return status;
    }
    if (!CommandLine::workersRunnable(request->workers, err)) {
        return kFailure;
    }
    std::vector<fs::path> queue;
    bool ok = CommandLine::collectFiles(request->paths, accepts, "not a PDF", queue, err);
    if (queue.empty()) {
        return kFailure;
    }
    CommandLine::ProgressLine progress(err, CommandLine::isTerminal(err),
                                       CommandLine::fileNames(queue));
    BatchHooks hooks;
    hooks.stop = stop;
    hooks.workers = request->workers;
    hooks.events = [&](const BatchEvent& event) { progress.show(event); };
    hooks.rowDone = [&](const ResultRow& row) {
        ok = CommandLine::showRow(row, Screen::pdfTools, out, err, progress) && ok;
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
