// SPDX-License-Identifier: GPL-3.0-or-later
// Runs the built `parvo` executable as a user would.
#include "support/Synth.h"

#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

struct ProcessResult {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Runs parvo with HOME and XDG_DATA_HOME inside `dir`, so a history file would show there.
ProcessResult parvo(const Synth::TempDir& dir, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), PARVO_EXECUTABLE);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    std::vector<std::string> variables = {"HOME=" + (dir / "home").string(),
                                          "XDG_DATA_HOME=" + (dir / "home" / "data").string()};
    for (char** variable = environ; *variable != nullptr; ++variable) {
        const std::string_view text(*variable);
        if (text.rfind("HOME=", 0) != 0 && text.rfind("XDG_DATA_HOME=", 0) != 0) {
            variables.emplace_back(text);
        }
    }
    std::vector<char*> envp;
    for (std::string& variable : variables) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);

    const fs::path out = dir / "stdout.txt";
    const fs::path err = dir / "stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t child = 0;
    ProcessResult run;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data()) == 0) {
        int status = 0;
        ::waitpid(child, &status, 0);
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    run.out = slurp(out);
    run.err = slurp(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

TEST(FrontEnd, BadArgumentsPrintUsageAndExitTwo) {
    Synth::TempDir dir;
    const std::string compressUsage = "usage: parvo compress [--target email|web|small] "
                                      "[--keep-text] [--jobs N] [--file-timeout SECONDS] PATH...";
    const std::string overview = "usage: parvo [--tab compress|pdf-tools|ocr] [FILE...]";
    // No arguments at all opens the window, so it is not among these.
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"compress"}, compressUsage},
        {{"compress", "--target"}, compressUsage},
        {{"compress", "--target", "huge", "x.png"},
         "parvo compress: --target: 'huge' is not one of email, web, small\n" + compressUsage +
             "\nTry 'parvo compress --help' for more information.\n"},
        {{"compress", "--target", "web"}, compressUsage},
        {{"compress", "--quality", "5", "x.png"}, compressUsage},
        {{"shrink", "x.png"}, "parvo: shrink: not a command"},
        {{"shrink", "x.png"}, overview},
        {{"--tab", "history", "x.png"},
         "parvo: --tab: 'history' is not one of compress, pdf-tools, ocr\n" + overview},
        {{"--tab", "ocr", "--jobs", "2"}, "parvo: --jobs: unknown option\n" + overview},
    };
    for (const auto& [arguments, expected] : cases) {
        const ProcessResult run = parvo(dir, arguments);
        const std::string label = arguments.front() + " " + arguments.back();
        EXPECT_EQ(run.status, 2) << label;
        EXPECT_NE(run.err.find(expected), std::string::npos) << label << ": " << run.err;
        EXPECT_TRUE(run.out.empty()) << label;
    }
}

TEST(FrontEnd, VersionAndEachCommandsOwnHelp) {
    Synth::TempDir dir;
    const ProcessResult version = parvo(dir, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "parvo " PARVO_VERSION "\n");
    for (const char* command : {"compress", "ocr", "merge", "split", "extract"}) {
        const ProcessResult help = parvo(dir, {command, "--help"});
        EXPECT_EQ(help.status, 0) << command;
        EXPECT_EQ(help.out.rfind(std::string("usage: parvo ") + command + " ", 0), 0U) << help.out;
        EXPECT_EQ(help.out.find("\n       parvo "), std::string::npos) << "only " << command;
        EXPECT_TRUE(help.err.empty()) << command;
    }
}

TEST(FrontEnd, CompressesFilesAndFoldersAndNeverTouchesTheHistory) {
    Synth::TempDir dir;
    Synth::save(Synth::photoLike(96, 64, 1), dir / "photo.png");
    fs::create_directory(dir / "Trip");
    Synth::save(Synth::photoLike(96, 64, 2), dir / "Trip" / "a b.jpg");
    const ProcessResult run =
        parvo(dir, {"compress", "--target", "small", (dir / "photo.png").string(),
                    (dir / "Trip").string(), (dir / "photo.png").string()});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty()) << run.err;
    std::istringstream lines(run.out);
    std::string first;
    std::string second;
    std::string third;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_FALSE(std::getline(lines, third)) << "one line per row; a repeated path is one job";
    // A small JPEG re-encoded at the top quality grows, so the mirror gets a copy.
    const std::string copied =
        "a b.jpg  Copied \u2014 already small  " + (dir / "Trip \u2014 Parvo" / "a b.jpg").string();
    EXPECT_EQ(second, copied);
    EXPECT_EQ(first.rfind("photo.png  ", 0), 0U) << first;
    EXPECT_FALSE(fs::exists(dir / "home")) << "the history is never touched";
}

TEST(FrontEnd, WrittenRowShowsSizesSavingAndPath) {
    Synth::TempDir dir;
    Synth::save(Synth::photoLike(256, 192, 1), dir / "big.png");
    const ProcessResult run =
        parvo(dir, {"compress", "--target", "web", (dir / "big.png").string()});
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string path = (dir / "big-small.jpg").string();
    ASSERT_TRUE(fs::exists(path)) << run.out;
    const std::string arrow = " \u2192 ";
    const std::size_t arrowAt = run.out.find(arrow);
    ASSERT_NE(arrowAt, std::string::npos) << run.out;
    EXPECT_EQ(run.out.rfind("big.png  ", 0), 0U) << run.out;
    EXPECT_NE(run.out.find("  (\u2212", arrowAt), std::string::npos) << run.out;
    EXPECT_EQ(run.out.substr(run.out.size() - path.size() - 5), "%)  " + path + "\n");
}

TEST(FrontEnd, FailuresExitOne) {
    Synth::TempDir dir;
    Synth::writeFile(dir / "broken.png", Bytes(100, 0x42));
    Synth::save(Synth::photoLike(96, 64, 1), dir / "fine.jpg");
    fs::create_directory(dir / "Empty");
    struct Case {
        std::vector<std::string> paths;
        const char* out; // expected in stdout
        const char* err; // expected in stderr
    };
    const Case cases[] = {
        {{"broken.png"}, "broken.png  Couldn't process\n", ""},
        {{"missing.png", "fine.jpg"},
         "fine.jpg  Already optimized \u2014 left as is\n",
         "missing.png: No such file or directory"},
        {{"Empty"}, "", "Empty: nothing to compress"},
        {{"notes.txt"}, "", "notes.txt: No such file or directory"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"compress"};
        for (const std::string& path : c.paths) {
            arguments.push_back((dir / path).string());
        }
        const ProcessResult run = parvo(dir, arguments);
        EXPECT_EQ(run.status, 1) << c.paths.front();
        EXPECT_EQ(run.out, c.out) << c.paths.front();
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
    const ProcessResult optimized = parvo(dir, {"compress", (dir / "fine.jpg").string()});
    EXPECT_EQ(optimized.status, 0) << "already optimized counts as success";
}

} // namespace
