// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <stop_token>
#include <string>
#include <vector>

/// `parvo compress [--target email|web|small] PATH...`: the Compress batch of the window,
/// run over files and folders named on the command line. Prints one line per result row to
/// `out` (the name, the size change or note, the path written) and problems to `err`, all
/// UTF-8. Never touches the history.
namespace CompressCommand {

enum ExitStatus : int {
    kSuccess = 0,     // every row wrote an output or copy, or was already optimized
    kFailure = 1,     // a row failed, a path gave no job, or the batch was stopped
    kBadArguments = 2 // usage printed to `err`
};

/// `arguments` are those after "compress". A stop request ends the batch after the file in
/// progress.
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::stop_token stop = {});

/// The usage text, ending in a newline.
std::string usage();

} // namespace CompressCommand
