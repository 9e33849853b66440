// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/PDFToolsCommand.h"
#include "Platform/PdfDocument.h"
#include "support/Synth.h"
#include "support/SynthPdf.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result command(const std::string& name, const std::vector<std::string>& arguments,
               std::stop_token stop = {}) {
    std::ostringstream out;
    std::ostringstream err;
    Result result;
    result.status = PDFToolsCommand::run(name, arguments, out, err, stop);
    result.out = out.str();
    result.err = err.str();
    return result;
}

std::string pdf(const Synth::TempDir& dir, const std::string& name, int pages) {
    Synth::writeFile(dir / name, SynthPdf::textPages(pages));
    return (dir / name).string();
}

int pagesIn(const fs::path& file) {
    const auto document = PdfDocument::openFile(file);
    return document ? document->pageCount() : -1;
}

TEST(PDFToolsCommand, BadArgumentsAreNamedWithTheSynopsisAndExitTwo) {
    Synth::TempDir dir;
    const std::string a = pdf(dir, "a.pdf", 2);
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        std::string problem; // the start of the line after "parvo NAME: "
    };
    const std::vector<Case> cases = {
        {"merge", {}, "PDF is required"},
        {"merge", {"--every", "2", a}, "--every: unknown option"},
        {"split", {a}, "--every or --at-bookmarks is required"},
        {"split", {"--every", "2", "--at-bookmarks", a}, "--every excludes --at-bookmarks"},
        {"split", {"--every", a}, "--every: '" + a + "' is not a whole number from 1 to 500"},
        {"split", {a, "--every"}, "--every: needs a value"},
        {"split", {"--every", "0", a}, "--every: '0' is not"},
        {"split", {"--every", "501", a}, "--every: '501' is not"},
        {"split", {"--every", "-3", a}, "--every: '-3' is not"},
        {"split", {"--every", "2x", a}, "--every: '2x' is not"},
        {"split", {"--every", "5"}, "PDF is required"},
        {"split", {"--pages", "1-2", "--every", "5", a}, "--pages: unknown option"},
        {"extract", {a}, "--pages is required"},
        {"extract", {"--pages"}, "--pages: needs a value"},
        {"extract", {"--pages", "1-2"}, "PDF is required"},
        {"extract", {"--every", "5", "--pages", "1", a}, "--every: unknown option"},
        {"extract", {"--frobnicate", a}, "--frobnicate: unknown option"},
    };
    for (const Case& c : cases) {
        const Result run = command(c.name, c.arguments);
        const std::string label = c.name + " " + testing::PrintToString(c.arguments);
        EXPECT_EQ(run.status, PDFToolsCommand::kBadArguments) << label;
        EXPECT_EQ(run.err.rfind("parvo " + c.name + ": " + c.problem, 0), 0U) << run.err;
        const std::string usage = PDFToolsCommand::usage(c.name);
        EXPECT_TRUE(run.err.ends_with("\n" + usage.substr(0, usage.find('\n') + 1) + "Try 'parvo " +
                                      c.name + " --help' for more information.\n"))
            << run.err;
        EXPECT_TRUE(run.out.empty());
    }
    EXPECT_EQ(command("compress", {a}).err, PDFToolsCommand::usage());
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "nothing written";
    const Result help = command("split", {"--help"});
    EXPECT_EQ(help.status, PDFToolsCommand::kSuccess);
    EXPECT_EQ(help.out, PDFToolsCommand::usage("split"));
}

TEST(PDFToolsCommand, RunsEachOperationAndPrintsItsRows) {
    Synth::TempDir dir;
    const std::string a = pdf(dir, "a.pdf", 2);
    const std::string b = pdf(dir, "b.pdf", 3);
    const Result merged = command("merge", {a, b, a});
    EXPECT_EQ(merged.status, PDFToolsCommand::kSuccess) << merged.err;
    EXPECT_EQ(merged.out, "merged.pdf  5 pages  " + (dir / "merged.pdf").string() + "\n")
        << "a repeated path is queued once";
    EXPECT_EQ(pagesIn(dir / "merged.pdf"), 5);

    const Result split = command("split", {"--every", "2", b});
    EXPECT_EQ(split.status, PDFToolsCommand::kSuccess) << split.err;
    EXPECT_EQ(split.out, "b-part1.pdf  2p  " + (dir / "b-part1.pdf").string() + "\n" +
                             "b-part2.pdf  1p  " + (dir / "b-part2.pdf").string() + "\n");

    // "-3" after --pages is the range, not an option.
    const Result extracted = command("extract", {"--pages", "-3", "--", b});
    EXPECT_EQ(extracted.status, PDFToolsCommand::kSuccess) << extracted.err;
    EXPECT_EQ(extracted.out, "b-p3-3.pdf  1p  " + (dir / "b-p3-3.pdf").string() + "\n");
}

TEST(PDFToolsCommand, AnyRowWithoutOutputOrBadPathExitsOne) {
    Synth::TempDir dir;
    const std::string a = pdf(dir, "a.pdf", 2);
    Synth::writeFile(dir / "bad.pdf", Bytes{'%', 'P', 'D', 'F', '-', '1', '.', '4'});
    Synth::writeFile(dir / "notes.txt", Bytes{'h', 'i'});
    const std::string bad = (dir / "bad.pdf").string();
    struct Case {
        std::string name;
        std::vector<std::string> arguments;
        std::string out;
        std::string err;
    };
    const std::vector<Case> cases = {
        {"extract", {"--pages", "5-9", a}, "a.pdf  Bad range\n", ""},
        {"extract", {"--pages", "1", bad}, "bad.pdf  Couldn't open\n", ""},
        {"split", {"--every", "500", bad}, "bad.pdf  Couldn't open\n", ""},
        {"merge", {bad}, "merge  Need at least one valid PDF\n", ""},
        {"merge", {(dir / "notes.txt").string()}, "", "notes.txt: not a PDF"},
        {"merge", {(dir / "missing.pdf").string()}, "", "missing.pdf: No such file"},
        {"split",
         {"--every", "1", a, (dir / "missing.pdf").string()},
         "a-part1.pdf  1p  ",
         "missing.pdf: No such file"},
    };
    for (const Case& c : cases) {
        const Result run = command(c.name, c.arguments);
        EXPECT_EQ(run.status, PDFToolsCommand::kFailure) << c.out;
        EXPECT_EQ(run.out.substr(0, c.out.size()), c.out);
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
}

TEST(PDFToolsCommand, AStopRequestedBeforehandRunsNothingAndFails) {
    Synth::TempDir dir;
    const std::string a = pdf(dir, "a.pdf", 2);
    std::stop_source stop;
    stop.request_stop();
    const Result run = command("split", {"--every", "1", a}, stop.get_token());
    EXPECT_EQ(run.status, PDFToolsCommand::kFailure);
    EXPECT_TRUE(run.out.empty());
    EXPECT_NE(run.err.find("stopped"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir / "a-part1.pdf"));
}

} // namespace
