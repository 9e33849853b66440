// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cli/Launch.h"

#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using Launch::Action;
using Launch::Tab;
using Strings = std::vector<std::string>;

struct Case {
    Strings arguments;
    Action action;
    std::optional<Tab> tab = std::nullopt;
    Strings files = {};     // window
    std::string named = {}; // command: its name; badArguments: the start of the problem
    Strings rest = {};      // command: its arguments
};

// "photo" and "compress" exist in the working directory; nothing else does. An existing item
// named like a command is a file.
bool exists(const std::string& argument) {
    return argument == "photo" || argument == "compress";
}

} // namespace

TEST(Launch, FirstArgumentDecidesBetweenWindowCommandAndMistake) {
    const std::vector<Case> cases = {
        {{}, Action::window},
        {{"a.png", "/x/b c.pdf", "photo", "nothing"},
         Action::window,
         {},
         {"a.png", "/x/b c.pdf", "photo", "nothing"}},
        {{"photo"}, Action::window, {}, {"photo"}},
        {{"dir/scan"}, Action::window, {}, {"dir/scan"}},
        {{"--tab", "ocr", "a.png"}, Action::window, Tab::ocr, {"a.png"}},
        {{"a.png", "--tab", "pdf-tools", "b.pdf"},
         Action::window,
         Tab::pdfTools,
         {"a.png", "b.pdf"}},
        {{"--tab", "compress"}, Action::window, Tab::compress},
        {{"--", "--tab", "-x"}, Action::window, {}, {"--tab", "-x"}},
        {{"a.png", "compress"}, Action::window, {}, {"a.png", "compress"}},
        {{"compress", "a.png"}, Action::window, {}, {"compress", "a.png"}},
        {{"ocr", "--target", "web", "a.png"},
         Action::command,
         {},
         {},
         "ocr",
         {"--target", "web", "a.png"}},
        {{"merge", "--help"}, Action::command, {}, {}, "merge", {"--help"}},
        {{"extract"}, Action::command, {}, {}, "extract"},
        {{"--version"}, Action::version},
        {{"--help"}, Action::help},
        {{"a.png", "-h"}, Action::help, {}, {"a.png"}},
        {{"shrink", "a.png"}, Action::badArguments, {}, {}, "shrink: not a command"},
        {{""}, Action::badArguments, {}, {}, ": not a command"},
        {{"--tab"}, Action::badArguments, {}, {}, "--tab: needs a value"},
        {{"--tab", "history", "a.png"},
         Action::badArguments,
         {},
         {},
         "--tab: 'history' is not one of compress, pdf-tools, ocr"},
        {{"--tab=ocr", "-", "--", "-3"}, Action::window, Tab::ocr, {"-", "-3"}},
        {{"a.png", "--jobs", "2"}, Action::badArguments, {}, {}, "--jobs: unknown option"},
    };
    for (const Case& c : cases) {
        const std::string label = testing::PrintToString(c.arguments);
        const Launch::Request request = Launch::read(c.arguments, exists);
        EXPECT_EQ(request.action, c.action) << label;
        EXPECT_EQ(request.tab, c.tab) << label;
        if (c.action == Action::badArguments) {
            EXPECT_EQ(request.problem.rfind(c.named, 0), 0U) << label << ": " << request.problem;
            continue;
        }
        EXPECT_EQ(request.files, c.files) << label;
        EXPECT_EQ(request.command, c.named) << label;
        EXPECT_EQ(request.arguments, c.rest) << label;
    }
}

TEST(Launch, UsageShowsTheSynopsisOfEveryCommand) {
    const std::string usage = Launch::usage();
    for (const char* synopsis :
         {"parvo compress [--target",
          "parvo ocr [--keep-bookmarks] [--jobs N] [--file-timeout SECONDS] PATH...\n",
          "parvo merge [--keep-bookmarks] [--jobs N] [--file-timeout SECONDS] PDF...\n",
          "parvo split [--every N] [--at-bookmarks] [--keep-bookmarks] [--jobs N] [--file-timeout "
          "SECONDS] PDF...\n",
          "parvo extract --pages RANGE [--keep-bookmarks] [--jobs N] [--file-timeout SECONDS] "
          "PDF...\n"}) {
        EXPECT_NE(usage.find(std::string("\n       ") + synopsis), std::string::npos) << synopsis;
    }
}
