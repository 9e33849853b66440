// SPDX-License-Identifier: GPL-3.0-or-later
// Batches run through real parvo-worker processes: a lost worker costs one row, a stop ends
// the batch at once, and any number of workers gives the rows and bytes of a run in this
// process.
#include "Workflows/CompressWorkflow.h"
#include "Workflows/EngineWorkers.h"
#include "Workflows/OCRWorkflow.h"
#include "Workflows/PDFToolsWorkflow.h"
#include "support/Corpus.h"
#include "support/OutlinePdf.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"
#include "support/TextPages.h"
#include "support/WorkerProgram.h"

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <signal.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

WorkerSettings workers(int jobs, std::chrono::seconds timeout = std::chrono::seconds(600)) {
    WorkerSettings settings;
    settings.executable = workerProgram();
    settings.jobs = jobs;
    settings.fileTimeout = timeout;
    return settings;
}

std::set<pid_t> childrenOf(pid_t parent) {
    std::set<pid_t> children;
    std::error_code error;
    for (const auto& task :
         fs::directory_iterator("/proc/" + std::to_string(parent) + "/task", error)) {
        std::ifstream in(task.path() / "children");
        for (pid_t child = 0; in >> child;) {
            children.insert(child);
        }
    }
    return children;
}

bool temporaryFileIn(const fs::path& folder) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.path().filename().string().find(".parvo-") != std::string::npos) {
            return true;
        }
    }
    return false;
}

// A scan that reads quickly, and a PDF whose pages keep a worker busy for seconds.
fs::path quickScan(const Synth::TempDir& dir, const std::string& name) {
    Synth::save(TextPages::image(TextPages::paragraph(200, 120)), dir / name);
    return dir / name;
}

fs::path longPdf(const Synth::TempDir& dir, const std::string& name, int pages = 12) {
    Synth::writeFile(dir / name, SynthPdf::textPages(pages));
    return dir / name;
}

std::string relative(const std::optional<fs::path>& saved, const fs::path& folder) {
    return saved ? fs::relative(*saved, folder).string() : "-";
}

// Rows as "name|note|output" with each output's bytes, relative to the batch's folder.
template <typename Row>
std::vector<std::string> described(const std::vector<Row>& rows, const fs::path& folder) {
    std::vector<std::string> lines;
    for (const Row& row : rows) {
        std::string line = row.name + "|" + relative(row.saved, folder);
        if constexpr (std::is_same_v<Row, ResultRow>) {
            line += "|" + ResultRows::note(row, Screen::pdfTools);
        } else {
            line +=
                "|" + CompressWorkflow::note(row).value_or("") + "|" + std::to_string(row.after);
        }
        if (row.saved) {
            const Bytes bytes = Synth::readFile(*row.saved);
            line += "|" + std::to_string(
                              std::hash<std::string>{}(std::string(bytes.begin(), bytes.end())));
        }
        lines.push_back(line);
    }
    return lines;
}

} // namespace

// The same batch of every screen in this process and with one and three workers: names
// (colliding stems), notes and output bytes are the same, whatever order files finish in.
TEST(WorkerBatches, OneOrThreeWorkersGiveTheRowsAndBytesOfAnInProcessRun) {
    using Run =
        std::function<std::vector<std::string>(const fs::path&, std::optional<WorkerSettings>)>;
    const auto makeInputs = [](const Synth::TempDir& dir) {
        Synth::save(Synth::photoLike(900, 700, 1), dir / "a.png");
        Synth::save(Synth::photoLike(300, 200, 2), dir / "a.jpg");
        Synth::save(TextPages::image(TextPages::paragraph(200, 120)), dir / "b.png");
        Synth::writeFile(dir / "b.pdf", SynthPdf::textPages(3));
        Synth::writeFile(dir / "c.pdf", SynthPdf::textPages(5));
        Synth::writeFile(dir / "broken.pdf", Bytes{'%', 'P', 'D', 'F'});
        OutlinePdf::Layout book;
        book.pageCount = 6;
        book.outline = {{"One", 1}, {"Two", 3, OutlinePdf::Dest::named}};
        Synth::writeFile(dir / "book.pdf", OutlinePdf::make(book));
    };
    const std::vector<std::string> images = {"a.png", "a.jpg", "b.png", "b.pdf", "broken.pdf"};
    const std::vector<std::string> pdfs = {"c.pdf", "broken.pdf", "book.pdf", "b.pdf", "c.pdf"};
    const auto paths = [](const fs::path& folder, const std::vector<std::string>& names) {
        std::vector<fs::path> located;
        for (const std::string& name : names) {
            located.push_back(folder / name);
        }
        return located;
    };
    const std::map<std::string, Run> runs = {
        {"compress",
         [&](const fs::path& folder, std::optional<WorkerSettings> settings) {
             std::vector<CompressWorkflow::Job> jobs;
             for (const fs::path& source : paths(folder, images)) {
                 CompressWorkflow::Job job;
                 job.src = source;
                 job.dst = folder / (source.stem().string() + "-small.jpg");
                 jobs.push_back(job);
             }
             CompressWorkflow::BatchHooks hooks;
             hooks.workers = settings;
             return described(CompressWorkflow::runBatch(jobs, SizeTarget::custom(40'000), hooks),
                              folder);
         }},
        {"ocr",
         [&](const fs::path& folder, std::optional<WorkerSettings> settings) {
             // Both paths report each file's pages and its end, whatever order files run in.
             std::map<std::size_t, std::string> seen;
             OCRWorkflow::BatchHooks hooks;
             hooks.workers = settings;
             hooks.events = [&](const BatchEvent& event) {
                 if (event.kind == BatchEvent::Kind::pages) {
                     seen[event.file] =
                         std::to_string(event.pagesDone) + "/" + std::to_string(event.pageCount);
                 } else if (event.kind == BatchEvent::Kind::fileFinished) {
                     seen[event.file] += " finished";
                 }
             };
             auto lines = described(OCRWorkflow::runBatch(paths(folder, images), hooks), folder);
             for (const auto& [file, events] : seen) {
                 lines.push_back(std::to_string(file) + ": " + events);
             }
             return lines;
         }},
    };
    for (const auto& [name, run] : runs) {
        Synth::TempDir inProcess, one, three;
        for (const Synth::TempDir* dir : {&inProcess, &one, &three}) {
            makeInputs(*dir);
        }
        const auto expected = run(inProcess.path(), std::nullopt);
        EXPECT_EQ(run(one.path(), workers(1)), expected) << name;
        EXPECT_EQ(run(three.path(), workers(3)), expected) << name;
    }
    for (const auto& [op, keepBookmarks] :
         {std::pair{PDFToolsWorkflow::Op::merge, false},
          std::pair{PDFToolsWorkflow::Op::merge, true},
          std::pair{PDFToolsWorkflow::Op::split, true},
          std::pair{PDFToolsWorkflow::Op::extract, false},
          std::pair{PDFToolsWorkflow::Op::splitAtBookmarks, false}}) {
        PDFToolsWorkflow::Options options;
        options.op = op;
        options.keepBookmarks = keepBookmarks;
        options.splitN = 2;
        options.range = PDFOps::PageRange{2, 4};
        Synth::TempDir inProcess, one, three;
        std::vector<std::vector<std::string>> results;
        for (const Synth::TempDir* dir : {&inProcess, &one, &three}) {
            makeInputs(*dir);
            PDFToolsWorkflow::BatchHooks hooks;
            if (dir != &inProcess) {
                hooks.workers = workers(dir == &one ? 1 : 3);
            }
            results.push_back(described(
                PDFToolsWorkflow::runBatch(paths(dir->path(), pdfs), options, hooks), dir->path()));
        }
        EXPECT_EQ(results[1], results[0]) << PDFToolsWorkflow::label(op);
        EXPECT_EQ(results[2], results[0]) << PDFToolsWorkflow::label(op);
    }
}

// A worker killed by a signal mid-file, or stopped past the file timeout, costs its file one
// failure row; the other files finish and no worker process is left.
TEST(WorkerBatches, ALostWorkerCostsItsFileOneRow) {
    struct Case {
        const char* name;
        int signal;
        std::chrono::seconds timeout;
        const char* note;
    };
    const char* const crashed = "Couldn't process \u2014 the file stopped the engine";
    const std::vector<Case> cases = {
        {"SIGKILL", SIGKILL, std::chrono::seconds(600), crashed},
        {"SIGSEGV", SIGSEGV, std::chrono::seconds(600), crashed},
        {"SIGSTOP past the timeout", SIGSTOP, std::chrono::seconds(4),
         "Couldn't process \u2014 took longer than 4 s"},
    };
    for (const Case& test : cases) {
        Synth::TempDir dir;
        const std::vector<fs::path> batch = {quickScan(dir, "first.png"), longPdf(dir, "long.pdf"),
                                             quickScan(dir, "last.png")};
        OCRWorkflow::BatchHooks hooks;
        hooks.workers = workers(2, test.timeout);
        pid_t victim = 0;
        bool signalled = false;
        // A stopped worker is stopped as soon as it takes the file: a timeout shorter than
        // its first page would end a sound worker too.
        hooks.workers->dispatched = [&](std::size_t file, int pid) {
            if (file == 1) {
                victim = pid;
                if (test.signal == SIGSTOP) {
                    signalled = ::kill(victim, test.signal) == 0;
                }
            }
        };
        hooks.events = [&](const BatchEvent& event) {
            if (event.kind == BatchEvent::Kind::pages && event.file == 1 && !signalled) {
                signalled = ::kill(victim, test.signal) == 0;
            }
        };
        const auto started = Clock::now();
        const auto rows = OCRWorkflow::runBatch(batch, hooks);
        EXPECT_TRUE(signalled) << test.name;
        ASSERT_EQ(rows.size(), 3U) << test.name;
        EXPECT_EQ(ResultRows::note(rows[0], Screen::ocr), "searchable PDF") << test.name;
        EXPECT_EQ(ResultRows::note(rows[1], Screen::ocr), test.note) << test.name;
        EXPECT_EQ(ResultRows::note(rows[2], Screen::ocr), "searchable PDF") << test.name;
        EXPECT_LT(Clock::now() - started, std::chrono::seconds(60)) << test.name;
        EXPECT_TRUE(childrenOf(::getpid()).empty()) << test.name;
        EXPECT_FALSE(temporaryFileIn(dir.path())) << test.name;
    }
}

// A stop in the middle of a long file ends the batch within a second: the file before it
// keeps its row, the one interrupted gets none, nothing half-written and no worker remains.
TEST(WorkerBatches, AStopMidFileEndsTheBatchAtOnce) {
    Synth::TempDir dir;
    const std::vector<fs::path> batch = {quickScan(dir, "first.png"), longPdf(dir, "long.pdf", 30)};
    std::stop_source stop;
    OCRWorkflow::BatchHooks hooks;
    hooks.workers = workers(2);
    hooks.stop = stop.get_token();
    Clock::time_point stoppedAt;
    bool firstDone = false;
    hooks.events = [&](const BatchEvent& event) {
        firstDone = firstDone || (event.kind == BatchEvent::Kind::fileFinished && event.file == 0);
        if (event.kind == BatchEvent::Kind::pages && event.file == 1 && firstDone &&
            !stop.stop_requested()) {
            stoppedAt = Clock::now();
            stop.request_stop();
        }
    };
    const auto rows = OCRWorkflow::runBatch(batch, hooks);
    EXPECT_LT(Clock::now() - stoppedAt, std::chrono::seconds(1));
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(rows[0].name, "first.png");
    EXPECT_FALSE(fs::exists(dir / "long-searchable.pdf"));
    EXPECT_FALSE(temporaryFileIn(dir.path()));
    EXPECT_TRUE(childrenOf(::getpid()).empty());
}

// The headless command over real workers, run as a user would.
namespace {

struct Command {
    pid_t pid = -1;
    fs::path out;
    fs::path err;
};

Command startParvo(const Synth::TempDir& dir, std::vector<std::string> arguments,
                   const fs::path& worker = workerProgram()) {
    arguments.insert(arguments.begin(), PARVO_EXECUTABLE);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    Command command{-1, dir / "stdout.txt", dir / "stderr.txt"};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, command.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, command.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    ::setenv("PARVO_WORKER_EXECUTABLE", worker.c_str(), 1);
    posix_spawn(&command.pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return command;
}

std::int64_t residentKilobytes(pid_t pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stoll(line.substr(6));
        }
    }
    return 0;
}

struct Finished {
    int status = -1;
    std::set<pid_t> workersSeen;
    std::int64_t peakResidentKilobytes = 0;
    std::string out;
};

// Waits for the command, watching its workers and its own memory; `whenWorking` is called
// once with its workers while a file is in progress.
Finished finish(const Command& command,
                const std::function<void(const std::set<pid_t>&)>& whenWorking = {}) {
    Finished finished;
    bool told = false;
    int status = 0;
    while (::waitpid(command.pid, &status, WNOHANG) == 0) {
        const std::set<pid_t> workers = childrenOf(command.pid);
        finished.workersSeen.insert(workers.begin(), workers.end());
        finished.peakResidentKilobytes =
            std::max(finished.peakResidentKilobytes, residentKilobytes(command.pid));
        if (!told && whenWorking && !workers.empty()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            whenWorking(childrenOf(command.pid));
            told = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    finished.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(command.out);
    std::ostringstream text;
    text << in.rdbuf();
    finished.out = text.str();
    return finished;
}

bool anyAlive(const std::set<pid_t>& pids) {
    for (const pid_t pid : pids) {
        if (::kill(pid, 0) == 0) {
            return true;
        }
    }
    return false;
}

} // namespace

// A file on which the renderer never returns (the corpus' looping PDF, or a worker stopped
// with SIGSTOP) gives its timeout row after the timeout; the other files are done, no worker
// outlives the command, and the command's own memory stays flat.
TEST(WorkerCommand, AHangingFileTimesOutAloneAndLeavesNoProcess) {
    struct Case {
        std::string name;
        std::string hanging;
        int timeoutSeconds;
        bool stopTheWorker;
    };
    std::vector<Case> cases = {{"stopped worker", "", 8, true}};
    if (const auto looping = Corpus::file("damaged/bitflip_poppler_loop_enc_aes128.pdf")) {
        cases.push_back({"looping PDF", looping->string(), 5, false});
    }
    for (const Case& test : cases) {
        Synth::TempDir dir;
        const fs::path hanging =
            test.stopTheWorker ? longPdf(dir, "hanging.pdf", 40) : dir / "hanging.pdf";
        if (!test.stopTheWorker) {
            fs::copy_file(test.hanging, hanging);
        }
        const fs::path a = quickScan(dir, "a.png");
        const fs::path b = quickScan(dir, "b.png");
        // The largest file, so that the only worker takes it first.
        ASSERT_GT(fs::file_size(hanging), fs::file_size(a)) << test.name;
        const Command command = startParvo(dir, {"ocr", "--jobs", "1", "--file-timeout",
                                                 std::to_string(test.timeoutSeconds),
                                                 hanging.string(), a.string(), b.string()});
        const Finished finished = finish(command, [&](const std::set<pid_t>& workers) {
            for (const pid_t worker : workers) {
                if (test.stopTheWorker) {
                    ::kill(worker, SIGSTOP);
                }
            }
        });
        EXPECT_EQ(finished.status, 1) << test.name;
        const std::string limit = std::to_string(test.timeoutSeconds) + " s";
        EXPECT_EQ(finished.out,
                  "hanging.pdf  Couldn't process \u2014 took longer than " + limit +
                      "\na.png  searchable PDF  " + (dir / "a-searchable.pdf").string() +
                      "\nb.png  searchable PDF  " + (dir / "b-searchable.pdf").string() + "\n")
            << test.name;
        EXPECT_FALSE(anyAlive(finished.workersSeen)) << test.name;
        EXPECT_LT(finished.peakResidentKilobytes, 200 * 1024) << test.name;
    }
}

// Ctrl-C (SIGINT) or SIGTERM in the middle of a long file: the command ends within a second
// with 128 + the signal, the row already received printed, no temporary file, no worker left.
TEST(WorkerCommand, ASignalStopsTheCommandAtOnce) {
    for (const int signal : {SIGINT, SIGTERM}) {
        Synth::TempDir dir;
        const fs::path first = quickScan(dir, "first.png");
        const fs::path long_ = longPdf(dir, "long.pdf", 30);
        const Command command =
            startParvo(dir, {"ocr", "--jobs", "2", first.string(), long_.string()});
        Clock::time_point signalledAt;
        const Finished finished = finish(command, [&](const std::set<pid_t>&) {
            // Once the first row is out, the long file is in progress.
            for (int wait = 0; wait < 200 && fs::file_size(command.out) == 0; ++wait) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            signalledAt = Clock::now();
            ::kill(command.pid, signal);
        });
        EXPECT_LT(Clock::now() - signalledAt, std::chrono::milliseconds(1500)) << signal;
        EXPECT_EQ(finished.status, 128 + signal);
        EXPECT_EQ(finished.out.rfind("first.png  searchable PDF", 0), 0U) << finished.out;
        EXPECT_FALSE(fs::exists(dir / "long-searchable.pdf"));
        EXPECT_FALSE(temporaryFileIn(dir.path()));
        EXPECT_FALSE(anyAlive(finished.workersSeen));
    }
}

// Without a worker program nothing can run: the command says so once, instead of blaming
// every file in its rows.
TEST(WorkerCommand, AMissingWorkerProgramIsSaidOnceAndNothingRuns) {
    Synth::TempDir dir;
    const fs::path pdf = longPdf(dir, "a.pdf", 1);
    const Command command = startParvo(dir, {"merge", pdf.string()}, dir / "no-worker");
    const Finished finished = finish(command);
    EXPECT_EQ(finished.status, 1);
    EXPECT_TRUE(finished.out.empty()) << finished.out;
    std::ifstream in(command.err);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "parvo: cannot run the engine worker " + (dir / "no-worker").string() +
                        ": No such file or directory");
    EXPECT_FALSE(fs::exists(dir / "merged.pdf"));
}

// More inputs than one frame carries descriptors for: a merge of many files still merges all.
TEST(WorkerBatches, AMergeOfMoreFilesThanAFrameCarriesTakesThemAll) {
    Synth::TempDir dir;
    std::vector<fs::path> inputs;
    for (int i = 0; i < 40; ++i) {
        inputs.push_back(dir / ("p" + std::to_string(i) + ".pdf"));
        Synth::writeFile(inputs.back(), SynthPdf::textPages(1));
    }
    PDFToolsWorkflow::BatchHooks hooks;
    hooks.workers = workers(1);
    const auto rows = PDFToolsWorkflow::runBatch(inputs, {}, hooks);
    ASSERT_EQ(rows.size(), 1U);
    EXPECT_EQ(ResultRows::note(rows[0], Screen::pdfTools), "40 pages");
}

// A merge is one step; only when its worker is lost is each input opened on its own, and the
// merge made again of those that open. Either way an unreadable input is told once.
TEST(WorkerBatches, AMergeWhoseWorkerIsLostOpensEachInputAndMergesAgain) {
    for (const bool killFirst : {false, true}) {
        Synth::TempDir dir;
        const std::vector<fs::path> inputs = {longPdf(dir, "a.pdf", 2), dir / "damaged.pdf",
                                              longPdf(dir, "b.pdf", 3)};
        Synth::writeFile(inputs[1], Bytes{'%', 'P', 'D', 'F', '-', '1', '.', '4'});
        PDFToolsWorkflow::BatchHooks hooks;
        hooks.workers = workers(1);
        int dispatches = 0;
        hooks.workers->dispatched = [&](std::size_t, int pid) {
            if (++dispatches == 1 && killFirst) {
                ::kill(pid, SIGKILL);
            }
        };
        std::vector<fs::path> leftOut;
        hooks.mergeInputLeftOut = [&](const fs::path& input, const OutcomeCause& cause) {
            leftOut.push_back(input);
            EXPECT_EQ(cause.error, EngineError::damaged);
        };
        const auto rows = PDFToolsWorkflow::runBatch(inputs, {}, hooks);
        ASSERT_EQ(rows.size(), 1U) << killFirst;
        EXPECT_EQ(ResultRows::note(rows[0], Screen::pdfTools), "5 pages") << killFirst;
        EXPECT_EQ(leftOut, std::vector<fs::path>{inputs[1]}) << killFirst;
        EXPECT_EQ(dispatches, killFirst ? 5 : 1);
    }
}
