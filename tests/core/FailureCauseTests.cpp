// SPDX-License-Identifier: GPL-3.0-or-later
// Each way a file can fail, on each screen: the words of its row, whether the history keeps it,
// and what `parvo` says about it on stderr.
#include "Cli/CompressCommand.h"
#include "Cli/OCRCommand.h"
#include "Cli/PDFToolsCommand.h"
#include "Workflows/CompressWorkflow.h"
#include "Workflows/OCRWorkflow.h"
#include "Workflows/OutcomeText.h"
#include "Workflows/PDFToolsWorkflow.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"
#include "support/WorkerProgram.h"

#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <sstream>

namespace fs = std::filesystem;
using std::chrono::seconds;

namespace {

constexpr const char* kCrashed = "Couldn't process \u2014 the file stopped the engine";

OutcomeCause lost(WorkerLoss::Kind kind, int signal = 0, seconds limit = {}) {
    return {{}, {}, {kind, signal, limit}};
}

struct CauseCase {
    const char* name;
    OutcomeCause cause;
    const char* compress; // also PDF Tools' and OCR's note when the engine was lost
    const char* ocr;
    const char* pdfTools;
    const char* said; // parvo's words after "parvo: NAME: "
};

const std::vector<CauseCase>& causeCases() {
    static const std::vector<CauseCase> cases = {
        {"locked",
         {EngineError::needsPassword, {}, {}},
         "Couldn't process",
         "No text found",
         "Couldn't open",
         "needs a password"},
        {"damaged",
         {EngineError::damaged, "xref not found", {}},
         "Couldn't process",
         "No text found",
         "Couldn't open",
         "damaged: xref not found"},
        {"SIGKILL", lost(WorkerLoss::Kind::crashed, SIGKILL), kCrashed, kCrashed, kCrashed,
         "worker killed by signal 9"},
        {"SIGSEGV", lost(WorkerLoss::Kind::crashed, SIGSEGV), kCrashed, kCrashed, kCrashed,
         "worker killed by signal 11"},
        {"3 s", lost(WorkerLoss::Kind::timedOut, 0, seconds(3)),
         "Couldn't process \u2014 took longer than 3 s", nullptr, nullptr, "took longer than 3 s"},
        {"90 s", lost(WorkerLoss::Kind::timedOut, 0, seconds(90)),
         "Couldn't process \u2014 took longer than 90 s", nullptr, nullptr,
         "took longer than 90 s"},
        {"10 min", lost(WorkerLoss::Kind::timedOut, 0, seconds(600)),
         "Couldn't process \u2014 took longer than 10 min", nullptr, nullptr,
         "took longer than 10 min"},
        {"memory",
         {EngineError::outOfMemory, {}, {}},
         "Couldn't process \u2014 needed more memory than allowed",
         nullptr,
         nullptr,
         "needed more memory than allowed"},
        {"missing", lost(WorkerLoss::Kind::missing),
         "Couldn't process \u2014 Parvo's engine helper is missing", nullptr, nullptr,
         "Parvo's engine helper is missing"},
    };
    return cases;
}

CompressWorkflow::Job jobFor(const fs::path& source, bool inFolder) {
    CompressWorkflow::Job job;
    job.src = source;
    job.dst = source.parent_path() / "out" / "a-small.pdf";
    if (inFolder) {
        job.copyDst = source.parent_path() / "mirror" / source.filename();
    }
    return job;
}

std::string stderrOf(const std::function<int(std::ostream&, std::ostream&)>& command, int& status) {
    std::ostringstream out;
    std::ostringstream err;
    status = command(out, err);
    return err.str();
}

} // namespace

TEST(FailureCauses, EachCauseReadsAndIsKeptAsItsScreenSays) {
    Synth::TempDir dir;
    Synth::writeFile(dir / "a.pdf", Bytes(100, '%'));
    for (const CauseCase& test : causeCases()) {
        const StepRunner::EngineAnswer answer{std::nullopt, test.cause, 0, true, {}};
        FolderScan::UsedNames used;
        const CompressWorkflow::Outcome dropped =
            CompressWorkflow::rowFor(jobFor(dir / "a.pdf", false), SizeTarget::web(), answer, used);
        EXPECT_EQ(CompressWorkflow::resultText(dropped), test.compress) << test.name;
        EXPECT_TRUE(CompressWorkflow::historyEntries({dropped}, UtcDate::systemClock()).empty())
            << test.name << ": a failed compression is not logged";
        // A folder's file is copied into the mirror whatever stopped its compression.
        const CompressWorkflow::Outcome copied =
            CompressWorkflow::rowFor(jobFor(dir / "a.pdf", true), SizeTarget::web(), answer, used);
        EXPECT_EQ(CompressWorkflow::resultText(copied), "Copied \u2014 couldn't compress")
            << test.name;

        const ResultRow ocr = OCRWorkflow::rowFor(dir / "a.pdf", answer, used);
        EXPECT_EQ(ResultRows::note(ocr, Screen::ocr), test.ocr ? test.ocr : test.compress)
            << test.name;
        EXPECT_EQ(OCRWorkflow::historyEntries({ocr}, UtcDate::systemClock()).size(), 1U);
        const FileOutcome tools = FileOutcomes::ofFailure(test.cause, FileOutcome::failed);
        EXPECT_EQ(OutcomeText::note(Screen::pdfTools, tools, {test.cause, 0, {}}),
                  test.pdfTools ? test.pdfTools : test.compress)
            << test.name;
        EXPECT_EQ(OutcomeText::cause(test.cause), test.said) << test.name;

        // What the history stores is read back as the same outcome.
        for (const auto& [screen, outcome, note] :
             {std::tuple{Screen::compress, dropped.outcome, CompressWorkflow::resultText(dropped)},
              std::tuple{Screen::ocr, ocr.outcome, ResultRows::note(ocr, Screen::ocr)}}) {
            EXPECT_EQ(OutcomeText::outcomeOfNote(screen, note), outcome) << test.name << note;
        }
    }
}

// Real files through the real workers: the rows keep the screens' words, stderr names the
// cause, and the status is a failure's.
TEST(FailureCauses, ParvoNamesWhyEachFileFailed) {
    Synth::TempDir dir;
    const Bytes plain = SynthPdf::textPages(2);
    Synth::writeFile(dir / "a.pdf", plain);
    Synth::writeFile(dir / "locked.pdf", SynthPdf::encrypted(plain, "user", "owner"));
    // Two megabytes of noise named .pdf: over the web budget, so the compressor must open it.
    Bytes noise(2 << 20);
    std::mt19937 random(7);
    for (std::uint8_t& byte : noise) {
        byte = static_cast<std::uint8_t>(random());
    }
    Synth::writeFile(dir / "noise.pdf", noise);
    const std::string a = (dir / "a.pdf").string();
    const std::string locked = (dir / "locked.pdf").string();
    const std::string damaged = (dir / "noise.pdf").string();

    int status = 0;
    std::string err = stderrOf(
        [&](std::ostream& out, std::ostream& e) {
            return CompressCommand::run({"--target", "web", damaged}, out, e);
        },
        status);
    EXPECT_EQ(status, CompressCommand::kFailure);
    EXPECT_EQ(err.rfind("parvo: noise.pdf: damaged", 0), 0U) << err;

    err = stderrOf(
        [&](std::ostream& out, std::ostream& e) { return OCRCommand::run({locked}, out, e); },
        status);
    EXPECT_EQ(status, OCRCommand::kFailure);
    EXPECT_EQ(err, "parvo: locked.pdf: needs a password\n");

    err = stderrOf(
        [&](std::ostream& out, std::ostream& e) {
            return PDFToolsCommand::run("extract", {"--pages", "1", locked, damaged}, out, e);
        },
        status);
    EXPECT_EQ(status, PDFToolsCommand::kFailure);
    EXPECT_EQ(err.rfind("parvo: locked.pdf: needs a password\nparvo: noise.pdf: damaged", 0), 0U)
        << err;

    // A merge writes what it could and still fails, naming the input it left out.
    std::ostringstream out;
    std::ostringstream mergeErr;
    status = PDFToolsCommand::run("merge", {a, locked}, out, mergeErr);
    EXPECT_EQ(status, PDFToolsCommand::kFailure);
    EXPECT_EQ(out.str().rfind("merged.pdf  2 pages", 0), 0U) << out.str();
    EXPECT_EQ(mergeErr.str(), "parvo: locked.pdf: needs a password\n");
}

// Without its helper program nothing runs unconfined: every file says so, and nothing waits.
TEST(FailureCauses, AMissingEngineHelperIsEveryFilesRow) {
    Synth::TempDir dir;
    Synth::writeFile(dir / "a.pdf", SynthPdf::textPages(1));
    Synth::writeFile(dir / "b.pdf", SynthPdf::textPages(1));
    WorkerSettings missing;
    missing.executable = dir / "no-such-worker";
    OCRWorkflow::BatchHooks hooks;
    hooks.workers = missing;
    const auto rows = OCRWorkflow::runBatch({dir / "a.pdf", dir / "b.pdf"}, hooks);
    ASSERT_EQ(rows.size(), 2U);
    for (const ResultRow& row : rows) {
        EXPECT_EQ(ResultRows::note(row, Screen::ocr),
                  "Couldn't process \u2014 Parvo's engine helper is missing");
    }
}
