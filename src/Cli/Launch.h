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
    badArguments, // print `problem` and usage() to stderr, exit 2
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
/// (0 success, 1 failure, 2 bad arguments). A stop request ends it after the file in progress.
int runCommand(const Request& request, std::ostream& out, std::ostream& err,
               std::stop_token stop = {});

/// The overview printed by --help and after bad arguments, ending in a newline: the window's
/// form, --version, and the synopsis of every command (each command's --help says more).
std::string usage();

} // namespace Launch
