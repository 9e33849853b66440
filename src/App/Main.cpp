// SPDX-License-Identifier: GPL-3.0-or-later
// The `parvo` executable. Until the window exists it is only the headless front end.
#include "App/CompressCommand.h"
#include "Platform/ProcessTuning.h"

#include <csignal>
#include <cstdlib>
#include <iostream>
#include <pthread.h>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

namespace {

// Ctrl-C or SIGTERM: finish the file in progress (so no temporary file is left), then stop;
// a second signal ends the process at once. Signals are blocked in every thread (the
// libraries start their own) and taken by sigwait on one watcher thread, where stopping a
// batch is an ordinary call rather than work inside a signal handler.
void stopOnSignals(std::stop_source stop) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::thread([signals, stop]() mutable {
        int signal = 0;
        if (sigwait(&signals, &signal) == 0) {
            std::cerr << "parvo: stopping after the file in progress\n";
            stop.request_stop();
        }
        if (sigwait(&signals, &signal) == 0) {
            std::_Exit(128 + signal);
        }
    }).detach();
}

} // namespace

int main(int argc, char** argv) {
    ProcessTuning::keepLargeAllocationsForReuse();
    const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
    if (arguments.size() == 1 && (arguments[0] == "--help" || arguments[0] == "-h")) {
        std::cout << CompressCommand::usage();
        return CompressCommand::kSuccess;
    }
    if (arguments.empty() || arguments.front() != "compress") {
        std::cerr << CompressCommand::usage();
        return CompressCommand::kBadArguments;
    }
    std::stop_source stop;
    stopOnSignals(stop);
    return CompressCommand::run({arguments.begin() + 1, arguments.end()}, std::cout, std::cerr,
                                stop.get_token());
}
