// SPDX-License-Identifier: GPL-3.0-or-later
// The command lines' shared reading and help layout, and how a command meets Ctrl-C/SIGTERM.
#include "Cli/CompressCommand.h"
#include "Cli/Launch.h"
#include "Cli/Syntax.h"

#include <chrono>
#include <gtest/gtest.h>
#include <signal.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

TEST(CommandSyntax, HelpKeepsItsLayout) {
    EXPECT_EQ(CompressCommand::usage(),
              "usage: parvo compress [--target email|web|small] [--keep-text] [--jobs N] "
              "[--file-timeout SECONDS] PATH...\n"
              "\n"
              "Compresses images (png, jpg, jpeg, heic, heif, tiff, gif) and PDFs towards a size\n"
              "target: email 10 MB (the default), web 1 MB, small 2 MB. A file's result is\n"
              "written beside it as NAME-small.jpg or NAME-small.pdf; a folder is mirrored into\n"
              "a sibling folder named \"FOLDER \u2014 Parvo\". Sources are never modified.\n"
              "\n"
              "Options:\n"
              "  --keep-text              PDFs keep their text, links and bookmarks (pages become\n"
              "                           pictures only when nothing else fits); a smaller result\n"
              "                           still above the target is written and says so\n"
              "\n"
              "Options for the batch:\n"
              "  --jobs N                 files at once, each in a worker process of its own\n"
              "                           (1 to 256; default: the number of cores)\n"
              "  --file-timeout SECONDS   a worker silent this long on one file is ended and\n"
              "                           the file fails (1 to 86400; default 600)\n"
              "\n"
              "Exit status: 0 when every file was written, copied or already optimized; 1 when a\n"
              "file failed or a path gave nothing to compress; 2 on bad arguments; 130 or 143\n"
              "when Ctrl-C or SIGTERM stopped it.\n");
}

TEST(CommandSyntax, OptionsAnywhereLastValueWinsAndDashesAreValues) {
    struct Case {
        std::vector<std::string> arguments;
        std::string value;
        std::vector<std::string> paths;
    };
    const std::vector<Case> cases = {
        {{"a", "--value", "1", "b", "--value=2"}, "2", {"a", "b"}},
        {{"--value", "-3", "-4", "-"}, "-3", {"-4", "-"}},
        {{"--", "--value", "1"}, "", {"--value", "1"}},
        {{"--value", "--", "a"}, "--", {"a"}},
    };
    for (const Case& c : cases) {
        std::string value;
        std::vector<std::string> paths;
        const auto app = Syntax::app("test", "");
        app->add_option("--value", value)->type_name("V");
        app->add_option("PATH", paths);
        std::ostringstream out;
        std::ostringstream err;
        EXPECT_EQ(Syntax::read(*app, c.arguments, out, err), Syntax::Reading::proceed) << err.str();
        EXPECT_EQ(value, c.value) << testing::PrintToString(c.arguments);
        EXPECT_EQ(paths, c.paths) << testing::PrintToString(c.arguments);
        EXPECT_EQ(Syntax::synopsis(*app), "test [--value V] [PATH...]");
    }
}

// Runs runStoppedBySignals in a child process sent `signals` (the first once the work runs);
// the child's exit status.
int statusAfterSignals(const std::vector<int>& signals, bool workHonoursStop) {
    int pipeFds[2];
    if (::pipe(pipeFds) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        std::_Exit(Launch::runStoppedBySignals([&](std::stop_token stop) {
            (void)!::write(pipeFds[1], "r", 1);
            for (int waited = 0; waited < 100 && !(workHonoursStop && stop.stop_requested());
                 ++waited) {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            return 1;
        }));
    }
    ::close(pipeFds[1]);
    char running = 0;
    (void)!::read(pipeFds[0], &running, 1);
    ::close(pipeFds[0]);
    for (const int signal : signals) {
        ::kill(child, signal);
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(CommandSyntax, FirstSignalStopsTheWorkAndASecondEndsTheProcess) {
    struct Case {
        std::vector<int> signals;
        bool workHonoursStop;
        int status;
    };
    const std::vector<Case> cases = {
        {{}, true, 1},
        {{SIGINT}, true, 130},
        {{SIGTERM}, true, 143},
        {{SIGINT, SIGTERM}, false, 143},
    };
    for (const Case& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(statusAfterSignals(c.signals, c.workHonoursStop), c.status)
            << testing::PrintToString(c.signals);
        if (!c.signals.empty()) {
            EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        }
    }
}

} // namespace
