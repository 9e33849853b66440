// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/Launch.h"

#include "Cli/CompressCommand.h"
#include "Cli/OCRCommand.h"
#include "Cli/PDFToolsCommand.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <pthread.h>
#include <signal.h>
#include <system_error>
#include <thread>

namespace Launch {

namespace {

constexpr std::array<std::string_view, 5> kCommands = {"compress", "ocr", "merge", "split",
                                                       "extract"};

bool namesPath(const std::string& argument, const Exists& exists) {
    return argument.find_first_of("/.") != std::string::npos || exists(argument);
}

Request failed(std::string problem) {
    Request request;
    request.action = Action::badArguments;
    request.problem = std::move(problem);
    return request;
}

// The window form: options anywhere before "--", every other argument a file.
Request readWindow(const std::vector<std::string>& arguments) {
    Request request;
    bool optionsEnded = false;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (optionsEnded || argument.size() < 2 || argument.front() != '-') {
            request.files.push_back(argument);
        } else if (argument == "--") {
            optionsEnded = true;
        } else if (argument == "--help" || argument == "-h") {
            request.action = Action::help;
        } else if (argument == "--version") {
            request.action = Action::version;
        } else if (argument == "--tab") {
            const auto tab = i + 1 < arguments.size() ? tabNamed(arguments[++i]) : std::nullopt;
            if (!tab) {
                return failed("--tab takes compress, pdf-tools or ocr");
            }
            request.tab = *tab;
        } else {
            return failed(argument + ": unknown option");
        }
    }
    return request;
}

// The first line of a command's usage, without "usage: ".
std::string synopsis(const std::string& usage) {
    constexpr std::string_view kLead = "usage: ";
    const std::size_t start = usage.rfind(kLead, 0) == 0 ? kLead.size() : 0;
    return usage.substr(start, usage.find('\n') - start);
}

std::string usageOf(std::string_view command) {
    if (command == "compress") {
        return CompressCommand::usage();
    }
    if (command == "ocr") {
        return OCRCommand::usage();
    }
    return PDFToolsCommand::usage(command);
}

} // namespace

bool existsOnDisk(const std::string& argument) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::symlink_status(argument, error));
}

Request read(const std::vector<std::string>& arguments, const Exists& exists) {
    if (arguments.empty()) {
        return {};
    }
    const std::string& first = arguments.front();
    if (arguments.size() == 2 && first == "--screenshots") {
        Request request;
        request.action = Action::screenshots;
        request.folder = arguments[1];
        return request;
    }
    if (first.empty() || first.front() != '-') {
        if (namesPath(first, exists)) {
            return readWindow(arguments);
        }
        if (!isCommand(first)) {
            return failed(first +
                          ": not a command (compress, ocr, merge, split, extract) nor a file");
        }
        Request request;
        request.action = Action::command;
        request.command = first;
        request.arguments.assign(arguments.begin() + 1, arguments.end());
        return request;
    }
    return readWindow(arguments);
}

bool isCommand(std::string_view name) {
    return std::find(kCommands.begin(), kCommands.end(), name) != kCommands.end();
}

std::optional<Tab> tabNamed(std::string_view name) {
    for (const Tab tab : {Tab::compress, Tab::pdfTools, Tab::ocr}) {
        if (name == tabName(tab)) {
            return tab;
        }
    }
    return std::nullopt;
}

std::string_view tabName(Tab tab) {
    switch (tab) {
    case Tab::pdfTools:
        return "pdf-tools";
    case Tab::ocr:
        return "ocr";
    case Tab::compress:
        break;
    }
    return "compress";
}

int runCommand(const Request& request, std::ostream& out, std::ostream& err, std::stop_token stop) {
    if (request.command == "compress") {
        return CompressCommand::run(request.arguments, out, err, stop);
    }
    if (request.command == "ocr") {
        return OCRCommand::run(request.arguments, out, err, stop);
    }
    return PDFToolsCommand::run(request.command, request.arguments, out, err, stop);
}

int runCommandStoppedBySignals(const Request& request, std::ostream& out, std::ostream& err) {
    // Signals are taken by sigwait on one watcher thread, where stopping a batch is an
    // ordinary call rather than work inside a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::stop_source stop;
    static std::atomic<int> stoppedBy{0};
    std::thread([stopSignals, stop]() mutable {
        int signal = 0;
        if (sigwait(&stopSignals, &signal) == 0) {
            stoppedBy = signal;
            stop.request_stop();
        }
        if (sigwait(&stopSignals, &signal) == 0) {
            std::_Exit(128 + signal);
        }
    }).detach();
    const int status = runCommand(request, out, err, stop.get_token());
    return stoppedBy != 0 ? 128 + stoppedBy : status;
}

std::string usage() {
    std::string text = "usage: parvo [--tab compress|pdf-tools|ocr] [FILE...]\n"
                       "       parvo --version\n";
    for (const std::string_view command : kCommands) {
        text += "       " + synopsis(usageOf(command)) + "\n";
    }
    return text +
           "\n"
           "Without a command, Parvo opens its window with the FILEs queued on the Compress\n"
           "tab (or on the tab --tab names), as if dropped there; when a Parvo window is\n"
           "already open, that one takes them. \"parvo COMMAND --help\" describes a "
           "command.\n";
}

} // namespace Launch
