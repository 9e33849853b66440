// SPDX-License-Identifier: GPL-3.0-or-later
// `parvo ocr` driven through its entry point, with a stand-in builder: argument handling,
// what is printed, and the exit status.
#include "Cli/OCRCommand.h"
#include "support/Synth.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// "%PDF" for any source, nothing for one whose bytes say "broken".
std::optional<Bytes> fakeBuild(const fs::path& source, std::span<TextRecognizer>, std::stop_token) {
    const Bytes content = Synth::readFile(source);
    if (std::string(content.begin(), content.end()) == "broken") {
        return std::nullopt;
    }
    return Bytes{'%', 'P', 'D', 'F'};
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

Result ocr(const std::vector<std::string>& arguments, std::stop_token stop = {}) {
    std::ostringstream out;
    std::ostringstream err;
    Result result;
    result.status = OCRCommand::run(arguments, out, err, stop, fakeBuild);
    result.out = out.str();
    result.err = err.str();
    return result;
}

void writeText(const fs::path& path, const std::string& text) {
    Synth::writeFile(path, Bytes(text.begin(), text.end()));
}

std::string savedLine(const fs::path& folder, const std::string& stem, const std::string& ext) {
    return stem + "." + ext + "  searchable PDF  " +
           (folder / (stem + "-searchable.pdf")).string() + "\n";
}

TEST(OCRCommand, BadArgumentsAreNamedWithTheSynopsisAndExitTwo) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{}, "PATH is required"},
        {{"--target", "web", "a.png"}, "--target: unknown option"},
        {{"-x", "a.png"}, "-x: unknown option"},
        {{"--workers", "2", "a.png"}, "--workers: unknown option"},
        {{"--jobs"}, "--jobs: needs a value"},
        {{"a.png", "--jobs"}, "--jobs: needs a value"},
        {{"--jobs", "0", "a.png"}, "--jobs: '0' is not a whole number from 1 to 256"},
        {{"--jobs", "257", "a.png"}, "--jobs: '257' is not"},
        {{"--jobs", "two", "a.png"}, "--jobs: 'two' is not"},
        {{"--jobs", "1x", "a.png"}, "--jobs: '1x' is not"},
        {{"--jobs", "-1", "a.png"}, "--jobs: '-1' is not"},
        {{"--jobs", "1"}, "PATH is required"},
        {{"--file-timeout", "0", "a.png"},
         "--file-timeout: '0' is not a whole number from 1 to 86400"},
        {{"--file-timeout", "5s", "a.png"}, "--file-timeout: '5s' is not"},
    };
    const std::string rest =
        "usage: parvo ocr [--keep-bookmarks] [--jobs N] [--file-timeout SECONDS] PATH...\n"
        "Try 'parvo ocr --help' for more information.\n";
    for (const auto& [arguments, problem] : cases) {
        const Result result = ocr(arguments);
        const std::string label = testing::PrintToString(arguments);
        EXPECT_EQ(result.status, OCRCommand::kBadArguments) << label;
        EXPECT_EQ(result.err.rfind("parvo ocr: " + problem, 0), 0U) << label << result.err;
        EXPECT_TRUE(result.err.ends_with("\n" + rest)) << label << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 3) << result.err;
        EXPECT_TRUE(result.out.empty()) << label;
    }
}

TEST(OCRCommand, HelpGoesToStandardOutputWithoutTheBenchmarkOption) {
    for (const char* help : {"--help", "-h"}) {
        const Result result = ocr({help});
        EXPECT_EQ(result.status, OCRCommand::kSuccess);
        EXPECT_EQ(result.out, OCRCommand::usage());
        EXPECT_TRUE(result.err.empty());
    }
    EXPECT_EQ(
        OCRCommand::usage().rfind(
            "usage: parvo ocr [--keep-bookmarks] [--jobs N] [--file-timeout SECONDS] PATH...\n", 0),
        0U);
    EXPECT_EQ(OCRCommand::usage().find("workers"), std::string::npos);
}

TEST(OCRCommand, EveryFileWrittenExitsZeroWithOneLinePerRowInOrder) {
    Synth::TempDir dir;
    writeText(dir / "b.png", "b");
    writeText(dir / "a.PDF", "a");
    const std::string b = (dir / "b.png").string();
    const Result result =
        ocr({"--jobs", "1", b, (dir / "a.PDF").string(), b, (dir / "." / "b.png").string()});
    EXPECT_EQ(result.status, OCRCommand::kSuccess) << result.err;
    EXPECT_EQ(result.out, savedLine(dir.path(), "b", "png") + savedLine(dir.path(), "a", "PDF"))
        << "each file once, in argument order";
    EXPECT_TRUE(result.err.empty()) << result.err;
    EXPECT_TRUE(fs::exists(dir / "a-searchable.pdf"));
}

TEST(OCRCommand, PathsThatAreNotScansAreReportedAndTheRestRun) {
    Synth::TempDir dir;
    writeText(dir / "good.jpg", "good");
    writeText(dir / "notes.txt", "text");
    writeText(dir / "scan.tif", "tif");
    fs::create_directory(dir / "folder.pdf");
    const Result result = ocr({(dir / "missing.png").string(), (dir / "notes.txt").string(),
                               (dir / "good.jpg").string(), (dir / "scan.tif").string(),
                               (dir / "folder.pdf").string()});
    EXPECT_EQ(result.status, OCRCommand::kFailure);
    EXPECT_EQ(result.out, savedLine(dir.path(), "good", "jpg"));
    EXPECT_EQ(result.err, "parvo: " + (dir / "missing.png").string() +
                              ": No such file or directory\n"
                              "parvo: " +
                              (dir / "notes.txt").string() +
                              ": not a scan or PDF\nparvo: " + (dir / "scan.tif").string() +
                              ": not a scan or PDF\nparvo: " + (dir / "folder.pdf").string() +
                              ": not a scan or PDF\n");
    EXPECT_FALSE(fs::exists(dir / "folder.pdf-searchable.pdf"));
    EXPECT_FALSE(fs::exists(dir / "folder-searchable.pdf"));
}

TEST(OCRCommand, ARowWithoutOutputFailsTheRun) {
    Synth::TempDir dir;
    writeText(dir / "broken.png", "broken");
    writeText(dir / "fine.png", "fine");
    const Result result = ocr({(dir / "broken.png").string(), (dir / "fine.png").string()});
    EXPECT_EQ(result.status, OCRCommand::kFailure);
    EXPECT_EQ(result.out, "broken.png  No text found\n" + savedLine(dir.path(), "fine", "png"));
    EXPECT_EQ(result.err, "parvo: broken.png: No text found\n");
}

TEST(OCRCommand, DoubleDashEndsOptionsAndRelativePathsResolve) {
    Synth::TempDir dir;
    writeText(dir / "-scan.png", "dash");
    const fs::path before = fs::current_path();
    fs::current_path(dir.path());
    const Result result = ocr({"--", "-scan.png"});
    fs::current_path(before);
    EXPECT_EQ(result.status, OCRCommand::kSuccess) << result.err;
    EXPECT_EQ(result.out, savedLine(dir.path(), "-scan", "png"));
}

TEST(OCRCommand, StopBeforeTheFirstFileWritesNothingAndFails) {
    Synth::TempDir dir;
    writeText(dir / "a.png", "a");
    std::stop_source stop;
    stop.request_stop();
    const Result result = ocr({(dir / "a.png").string()}, stop.get_token());
    EXPECT_EQ(result.status, OCRCommand::kFailure);
    EXPECT_TRUE(result.out.empty());
    EXPECT_EQ(result.err, "parvo: stopped; 1 file(s) not processed\n");
    EXPECT_FALSE(fs::exists(dir / "a-searchable.pdf"));
}

} // namespace
