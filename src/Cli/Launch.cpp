// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/Launch.h"

#include "Cli/CompressCommand.h"
#include "Cli/OCRCommand.h"
#include "Cli/PDFToolsCommand.h"
#include "Cli/Syntax.h"
#include "Platform/UniqueFd.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <system_error>
#include <thread>
#include <unistd.h>

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

constexpr std::string_view kOverview =
    "Without a command, Parvo opens its window with the FILEs queued on the Compress\n"
    "tab (or on the tab --tab names), as if dropped there; when a Parvo window is\n"
    "already open, that one takes them. \"parvo COMMAND --help\" describes a command.";

// The window form, read into `request`, `tab` and the flags: options anywhere before "--",
// every other argument a file. --help and --version are flags here rather than CLI11's own
// help, so that the files read with them are kept.
std::unique_ptr<CLI::App> windowSyntax(Request& request, std::string& tab, bool& help,
                                       bool& version) {
    auto app = Syntax::app("parvo", std::string(kOverview));
    app->set_help_flag();
    app->add_option("--tab", tab)
        ->type_name("compress|pdf-tools|ocr")
        ->check(Syntax::oneOf({"compress", "pdf-tools", "ocr"}))
        ->group(Syntax::kUnlisted);
    app->add_flag("-h,--help", help)->group(Syntax::kUnlisted);
    app->add_flag("--version", version)->group(Syntax::kUnlisted);
    app->add_option("FILE", request.files);
    return app;
}

Request readWindow(const std::vector<std::string>& arguments) {
    Request request;
    std::string tab;
    bool help = false;
    bool version = false;
    const auto app = windowSyntax(request, tab, help, version);
    try {
        app->parse(std::vector<std::string>(arguments.rbegin(), arguments.rend()));
    } catch (const CLI::ParseError& error) {
        return failed(Syntax::problemOf(*app, error));
    }
    request.tab = tab.empty() ? std::nullopt : tabNamed(tab);
    request.action = help ? Action::help : version ? Action::version : Action::window;
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

// Until `finished` is signalled: the first stop signal asks `worker` to stop, a second ends
// the process. The first signal's number, or 0.
int watchSignals(int signals, int finished, std::jthread& worker) {
    int stoppedBy = 0;
    for (;;) {
        pollfd ready[] = {{signals, POLLIN, 0}, {finished, POLLIN, 0}};
        if (::poll(ready, 2, -1) < 0 && errno != EINTR) {
            return stoppedBy; // the work still ends; only the signals go unheard
        }
        signalfd_siginfo signal{};
        if ((ready[0].revents & POLLIN) != 0 &&
            ::read(signals, &signal, sizeof signal) == sizeof signal) {
            if (stoppedBy != 0) {
                std::_Exit(128 + static_cast<int>(signal.ssi_signo));
            }
            stoppedBy = static_cast<int>(signal.ssi_signo);
            worker.request_stop();
        }
        if ((ready[1].revents & POLLIN) != 0) {
            return stoppedBy;
        }
    }
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
    return runStoppedBySignals(
        [&](std::stop_token stop) { return runCommand(request, out, err, std::move(stop)); });
}

int runStoppedBySignals(const std::function<int(std::stop_token)>& work) {
    // The signals are read from a descriptor on this thread while the work runs on its own,
    // so that stopping it is an ordinary call rather than work inside a signal handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    const UniqueFd signals(::signalfd(-1, &stopSignals, SFD_CLOEXEC));
    const UniqueFd finished(::eventfd(0, EFD_CLOEXEC));
    if (!signals || !finished) {
        return work({});
    }
    int status = 0;
    std::jthread worker([&](std::stop_token stop) {
        status = work(std::move(stop));
        const std::uint64_t one = 1;
        (void)!::write(finished.get(), &one, sizeof one);
    });
    const int stoppedBy = watchSignals(signals.get(), finished.get(), worker);
    worker.join();
    return stoppedBy != 0 ? 128 + stoppedBy : status;
}

std::string usage() {
    Request request;
    std::string tab;
    bool flag = false;
    std::vector<std::string> forms = {Syntax::synopsis(*windowSyntax(request, tab, flag, flag)),
                                      "parvo --version"};
    for (const std::string_view command : kCommands) {
        forms.push_back(synopsis(usageOf(command)));
    }
    return Syntax::app("parvo", std::string(kOverview), std::move(forms))->help();
}

std::string refusal(const std::string& problem) {
    return Syntax::refusal("parvo", problem, usage());
}

} // namespace Launch
