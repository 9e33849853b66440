// SPDX-License-Identifier: GPL-3.0-or-later
// parvo-worker: performs Parvo's engine steps, one request at a time, for the process that
// started it, over the socket it inherited (see WorkerChannel for the framing and
// RequestHandler for the requests). It confines itself before reading the first request and
// ends with its parent.
//
//   parvo-worker --fd N [--address-space BYTES] [--sandbox 0|1]
//   parvo-worker --check-sandbox [--address-space BYTES]
//
// The second form confines itself exactly as a worker does, tries what the sandbox refuses
// and prints one line per attempt; it is for tests and for checking a system.
#include "Cli/Syntax.h"
#include "Platform/ProcessTuning.h"
#include "Platform/Sandbox.h"
#include "Platform/WorkerChannel.h"
#include "Workflows/EngineProtocol.h"
#include "Workflows/RequestHandler.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBadArguments = 2;
constexpr int kNotConfined = 3;
constexpr int kNoParent = 4;

struct Arguments {
    int fd = -1;
    std::uint64_t addressSpaceBytes = 0;
    bool sandbox = true;
    bool checkSandbox = false;
};

// The command line, read into `arguments` and `sandbox`.
std::unique_ptr<CLI::App> syntax(Arguments& arguments, std::string& sandbox) {
    auto app = Syntax::app(
        "parvo-worker",
        "Performs Parvo's engine steps for the process that started it, over the socket N\n"
        "it inherited; or, with --check-sandbox, confines itself as a worker does and prints\n"
        "what the sandbox refuses.",
        {"parvo-worker --fd N [--address-space BYTES] [--sandbox 0|1]",
         "parvo-worker --check-sandbox [--address-space BYTES]"});
    const std::string group = "Options";
    auto* fd = app->add_option("--fd", arguments.fd, "the inherited socket")
                   ->type_name("N")
                   ->check(Syntax::wholeNumber(0, std::numeric_limits<int>::max()))
                   ->group(group);
    app->add_flag("--check-sandbox", arguments.checkSandbox, "check the sandbox and end")
        ->excludes(fd)
        ->group(group);
    app->add_option("--address-space", arguments.addressSpaceBytes,
                    "the address-space limit (0: none)")
        ->type_name("BYTES")
        ->check(Syntax::wholeNumber(0, std::numeric_limits<long long>::max()))
        ->group(group);
    app->add_option("--sandbox", sandbox, "0 runs the worker unconfined (default 1)")
        ->type_name("0|1")
        ->check(Syntax::oneOf({"0", "1"}))
        ->group(group);
    return app;
}

// Absent when there is nothing to serve: the help or a refusal was printed.
std::optional<Arguments> readArguments(int argc, char** argv, int& status) {
    Arguments arguments;
    std::string sandbox = "1";
    const auto app = syntax(arguments, sandbox);
    const std::vector<std::string> given(argv + std::min(argc, 1), argv + argc);
    const Syntax::Reading reading = Syntax::read(*app, given, std::cout, std::cerr);
    if (reading == Syntax::Reading::proceed && !arguments.checkSandbox && arguments.fd < 0) {
        std::cerr << Syntax::refusal("parvo-worker", "--fd or --check-sandbox is required",
                                     app->help());
        status = kBadArguments;
        return std::nullopt;
    }
    if (reading != Syntax::Reading::proceed) {
        status = reading == Syntax::Reading::help ? 0 : kBadArguments;
        return std::nullopt;
    }
    arguments.sandbox = sandbox == "1";
    return arguments;
}

// The socket's peer is the process that made the socket pair: the parent, unless it has died
// and this process was handed to another (then there is no one left to work for).
bool parentIsAlive(int socket) {
    ucred peer{};
    socklen_t size = sizeof peer;
    if (::getsockopt(socket, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0)
        return false;
    return peer.pid == ::getppid();
}

std::string outcome(bool refused) {
    return refused ? "refused (" + std::string(std::strerror(errno)) + ")" : "allowed";
}

// Each attempt is undone at once when it succeeds.
int checkSandbox(const Arguments& arguments) {
    const Sandbox::Applied applied = Sandbox::apply({arguments.addressSpaceBytes, true});
    if (!applied.ok) {
        std::cout << "sandbox: " << applied.problem << "\n";
        return kNotConfined;
    }
    std::cout << "landlock: " << applied.landlockAbi << "\n";
    const int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    std::cout << "socket: " << outcome(socket < 0) << "\n";
    if (socket >= 0)
        ::close(socket);
    std::cout.flush();
    const pid_t child = ::fork();
    if (child == 0)
        std::_Exit(0);
    std::cout << "fork: " << outcome(child < 0) << "\n";
    if (child > 0)
        ::waitpid(child, nullptr, 0);
    char name[] = "/tmp/parvo-sandbox-XXXXXX";
    const int written = ::mkstemp(name);
    std::cout << "write: " << outcome(written < 0) << "\n";
    if (written >= 0) {
        ::close(written);
        ::unlink(name);
    }
    return 0;
}

int serve(const Arguments& arguments) {
    // Ends with the thread that started it, and never outlives a parent that died before
    // this line ran.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (!parentIsAlive(arguments.fd))
        return kNoParent;
    ::fcntl(arguments.fd, F_SETFD, FD_CLOEXEC);
    WorkerChannel channel{UniqueFd(arguments.fd)};
    const Sandbox::Applied applied =
        Sandbox::apply({arguments.addressSpaceBytes, arguments.sandbox});
    if (!applied.ok)
        return kNotConfined;
    nlohmann::json ready = EngineProtocol::header(EngineProtocol::Reply::ready);
    ready["pid"] = ::getpid();
    if (!channel.send({std::move(ready), {}, {}}))
        return 0;
    ChannelLink link(channel);
    RequestHandler handler(link);
    while (auto request = channel.receive())
        if (!handler.handle(std::move(*request)))
            break;
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    ProcessTuning::keepLargeAllocationsForReuse();
    int status = 0;
    const auto arguments = readArguments(argc, argv, status);
    if (!arguments) {
        return status;
    }
    return arguments->checkSandbox ? checkSandbox(*arguments) : serve(*arguments);
}
