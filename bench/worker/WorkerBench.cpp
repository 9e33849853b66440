// SPDX-License-Identifier: GPL-3.0-or-later
// parvo-worker-bench: the cost of running engine steps in a sandboxed parvo-worker rather than
// in this process. Prints JSON lines: one for worker starts (exec to "ready"), then one per
// file with the median wall time of compressing it for the web in process and in one warm
// worker (the request's overhead is the difference); a PDF is only opened, which shows what
// passing a file and an answer costs.
//   parvo-worker-bench [--starts N] [--repeats N] FILE...
#include "Cli/Syntax.h"
#include "Platform/PdfDocument.h"
#include "Platform/ProcessTuning.h"
#include "Platform/WorkerProcess.h"
#include "Workflows/CompressWorkflow.h"

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <functional>
#include <iostream>
#include <string_view>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

double millisecondsOf(const std::function<void()>& work) {
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

std::filesystem::path workerProgram() {
    if (const char* set = std::getenv("PARVO_WORKER_EXECUTABLE"); set && *set)
        return set;
    return PARVO_WORKER_EXECUTABLE;
}

int measureStarts(int starts) {
    std::vector<double> toReady;
    std::vector<double> total;
    for (int i = 0; i < starts; ++i) {
        std::optional<WorkerProcess> worker;
        total.push_back(millisecondsOf([&] { worker = WorkerProcess::start({workerProgram()}); }));
        if (!worker) {
            std::cerr << "parvo-worker-bench: the worker did not start\n";
            return 1;
        }
        toReady.push_back(worker->startDuration().count() / 1000.0);
    }
    // A pool's start: as many workers as cores, spawned together.
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    std::vector<double> pool;
    for (int i = 0; i < starts; ++i) {
        std::vector<WorkerProcess> workers;
        pool.push_back(
            millisecondsOf([&] { workers = WorkerProcess::startMany({workerProgram()}, cores); }));
    }
    std::cout << nlohmann::json{{"measure", "start"},
                                {"starts", starts},
                                {"poolWorkers", cores},
                                {"medianPoolStartMs", median(pool)},
                                {"medianReadyMs", median(toReady)},
                                {"minReadyMs", *std::min_element(toReady.begin(), toReady.end())},
                                {"medianStartMs", median(total)}}
                     .dump()
              << std::endl;
    return 0;
}

std::optional<Bytes> compressInWorker(WorkerProcess& worker, const std::filesystem::path& file,
                                      int id) {
    const bool pdf = file.extension() == ".pdf";
    WorkerMessage request{{{"type", "compress"},
                           {"id", id},
                           {"kind", pdf ? "pdf" : "image"},
                           {"target", SizeTarget::web().bytes()},
                           {"threads", 2}},
                          {},
                          {}};
    request.fds.emplace_back(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
    if (!worker.channel().send(request))
        return std::nullopt;
    while (auto reply = worker.channel().receive()) {
        const auto type = reply->header.value("type", "");
        if (type == "result" && reply->fds.size() == 1)
            return readAllFrom(reply->fds[0].get());
        if (type != "progress")
            return std::nullopt;
    }
    return std::nullopt;
}

// A request that does almost nothing: what passing a file and an answer costs.
int measureRoundTrip(WorkerProcess& worker, const std::filesystem::path& file, int repeats) {
    std::vector<double> inProcess;
    std::vector<double> inWorker;
    for (int i = 0; i < repeats; ++i) {
        inProcess.push_back(millisecondsOf([&] { PdfDocument::openFile(file); }));
        inWorker.push_back(millisecondsOf([&] {
            WorkerMessage request{{{"type", "open"}, {"id", i}}, {}, {}};
            request.fds.emplace_back(::open(file.c_str(), O_RDONLY | O_CLOEXEC));
            worker.channel().send(request);
            worker.channel().receive();
        }));
    }
    std::cout << nlohmann::json{{"measure", "open"},
                                {"file", file.string()},
                                {"repeats", repeats},
                                {"inProcessMs", median(inProcess)},
                                {"inWorkerMs", median(inWorker)},
                                {"overheadMs", median(inWorker) - median(inProcess)}}
                     .dump()
              << std::endl;
    return 0;
}

int measureFile(WorkerProcess& worker, const std::filesystem::path& file, int repeats) {
    std::vector<double> inProcess;
    std::vector<double> inWorker;
    std::optional<Bytes> here;
    std::optional<Bytes> there;
    for (int i = 0; i < repeats; ++i) {
        inProcess.push_back(millisecondsOf(
            [&] { here = CompressWorkflow::engineCompress(file, SizeTarget::web()); }));
        inWorker.push_back(millisecondsOf([&] { there = compressInWorker(worker, file, i); }));
    }
    std::cout << nlohmann::json{{"measure", "compress"},
                                {"file", file.string()},
                                {"repeats", repeats},
                                {"inProcessMs", median(inProcess)},
                                {"inWorkerMs", median(inWorker)},
                                {"overheadMs", median(inWorker) - median(inProcess)},
                                {"sameBytes", here == there}}
                     .dump()
              << std::endl;
    return here == there ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    ProcessTuning::keepLargeAllocationsForReuse();
    int starts = 20;
    int repeats = 5;
    std::vector<std::filesystem::path> files;
    const auto app = Syntax::app("parvo-worker-bench",
                                 "Times worker starts, then each FILE in process and in a worker.");
    app->add_option("--starts", starts, "worker starts to time (default 20)")
        ->type_name("N")
        ->check(Syntax::wholeNumber(1, 10000));
    app->add_option("--repeats", repeats, "runs of each file (default 5)")
        ->type_name("N")
        ->check(Syntax::wholeNumber(1, 10000));
    app->add_option("FILE", files);
    const std::vector<std::string> arguments(argv + std::min(argc, 1), argv + argc);
    const Syntax::Reading reading = Syntax::read(*app, arguments, std::cout, std::cerr);
    if (reading != Syntax::Reading::proceed)
        return reading == Syntax::Reading::help ? 0 : 2;
    int status = measureStarts(starts);
    auto worker = WorkerProcess::start({workerProgram()});
    for (const auto& file : files) {
        if (!worker)
            return 1;
        status |= file.extension() == ".pdf" ? measureRoundTrip(*worker, file, repeats)
                                             : measureFile(*worker, file, repeats);
    }
    return status;
}
