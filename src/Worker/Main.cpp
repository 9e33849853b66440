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
#include "Platform/ProcessTuning.h"
#include "Platform/Sandbox.h"
#include "Platform/WorkerChannel.h"
#include "Workflows/EngineProtocol.h"
#include "Workflows/RequestHandler.h"

#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

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

template <typename Number> std::optional<Number> parsed(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

std::optional<Arguments> readArguments(int argc, char** argv) {
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string_view name = argv[i];
        if (name == "--check-sandbox") {
            arguments.checkSandbox = true;
            continue;
        }
        if (i + 1 >= argc)
            return std::nullopt;
        const std::string_view value = argv[++i];
        if (name == "--fd") {
            const auto fd = parsed<int>(value);
            if (!fd || *fd < 0)
                return std::nullopt;
            arguments.fd = *fd;
        } else if (name == "--address-space") {
            const auto bytes = parsed<std::uint64_t>(value);
            if (!bytes)
                return std::nullopt;
            arguments.addressSpaceBytes = *bytes;
        } else if (name == "--sandbox" && (value == "0" || value == "1")) {
            arguments.sandbox = value == "1";
        } else {
            return std::nullopt;
        }
    }
    if (arguments.checkSandbox == (arguments.fd >= 0))
        return std::nullopt;
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
    const auto arguments = readArguments(argc, argv);
    if (!arguments) {
        std::cerr << "usage: parvo-worker --fd N [--address-space BYTES] [--sandbox 0|1]\n"
                     "       parvo-worker --check-sandbox [--address-space BYTES]\n";
        return kBadArguments;
    }
    return arguments->checkSandbox ? checkSandbox(*arguments) : serve(*arguments);
}
