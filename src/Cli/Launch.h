// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

/// What `parvo` is asked to do, read from the arguments after the program name:
///
///     parvo [--tab compress|pdf-tools|ocr] [--] [FILE...]   the window, FILEs queued on the tab
///     parvo COMMAND [ARGUMENT...]                           a headless command
///     parvo --version | --help
///
/// The first argument decides. An option, or an argument that names an existing item or
/// contains "/" or ".", starts the window form, in which every argument that is not an option
/// is a file (and every argument after "--"). Otherwise a command name (compress, ocr, merge,
/// split, extract) runs that command; any other first argument is an unknown command. So an
/// item named like a command, in the working directory, is opened as a file. Qt-free; no I/O
/// besides the existence test.
namespace Launch {

/// The window's working tabs, by their command-line names "compress", "pdf-tools", "ocr".
enum class Tab { compress, pdfTools, ocr };

enum class Action {
    window,       // open the window (on `tab`, when named) with `files`
    command,      // run the headless `command` with `arguments`
    help,         // print usage() to stdout, exit 0
    version,      // print the version to stdout, exit 0
    screenshots,  // photograph every tab into `folder` (scripts/screenshots; not in usage())
    badArguments, // print refusal(problem) to stderr, exit 2
};

struct Request {
    Action action = Action::window;
    std::optional<Tab> tab;         // --tab; files without it go to Compress
    std::vector<std::string> files; // as given, relative to the caller's working directory
    std::string command;
    std::vector<std::string> arguments; // those after the command name
    std::string folder;
    std::string problem; // one line, without "parvo: " and without the newline
};

/// Whether an argument names an existing item (relative to the working directory).
using Exists = std::function<bool(const std::string& argument)>;
bool existsOnDisk(const std::string& argument);

Request read(const std::vector<std::string>& arguments, const Exists& exists = existsOnDisk);

/// True for the names of the headless commands.
bool isCommand(std::string_view name);
/// The tab of a command-line name; absent for any other text.
std::optional<Tab> tabNamed(std::string_view name);
/// The command-line name of `tab` (also its desktop action's name).
std::string_view tabName(Tab tab);

/// Runs the headless command of a `command` request, with the statuses of the commands
/// (0 success, 1 failure, 2 bad arguments). A stop request ends the files in progress at once.
int runCommand(const Request& request, std::ostream& out, std::ostream& err,
               std::stop_token stop = {});

/// runCommand for the process's own command: Ctrl-C (SIGINT) or SIGTERM stops the batch at
/// once (the files in progress get no row; the rows already received are written and
/// printed) and the status is then 128 + the signal: 130 or 143. A second signal ends the
/// process at once. Call it before any other thread starts: it blocks both signals in the
/// calling thread, so that every thread started later inherits the block.
int runCommandStoppedBySignals(const Request& request, std::ostream& out, std::ostream& err);

/// What runCommandStoppedBySignals does around any `work`: it runs on a thread of its own
/// with a stop token that the first SIGINT or SIGTERM requests; the result is then 128 + that
/// signal (once the work has returned), otherwise the work's own. A second signal ends the
/// process at once with 128 + it.
int runStoppedBySignals(const std::function<int(std::stop_token)>& work);

/// The overview printed by --help and after bad arguments, ending in a newline: the window's
/// form, --version, and the synopsis of every command (each command's --help says more).
std::string usage();

/// What bad arguments print: "parvo: PROBLEM", the synopsis lines of usage() and a hint to
/// --help.
std::string refusal(const std::string& problem);

} // namespace Launch
