// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

/// `parvo merge PDF...`, `parvo split --every N PDF...` and `parvo extract --pages RANGE
/// PDF...`: the PDF Tools batch of the window, run over the PDFs named on the command line (in
/// order, a repeated path once). Prints one line per result row to `out` as it finishes (name,
/// note, path written) and problems to `err`, all UTF-8. Outputs never replace a file. Never
/// touches the history.
namespace PDFToolsCommand {

/// The same statuses as `parvo compress`.
enum ExitStatus : int {
    kSuccess = 0,     // every row saved an output
    kFailure = 1,     // a row saved nothing, a path was missing or not a PDF, or a stop came
    kBadArguments = 2 // usage printed to `err`
};

/// True for "merge", "split" and "extract".
bool handles(std::string_view command);

/// `command` is one of those handles() accepts; `arguments` are those after it. --every must
/// be 1–500. A range that gives no pages is not an argument error: each file's row says "Bad
/// range". A stop request ends the batch between files and outputs.
int run(std::string_view command, const std::vector<std::string>& arguments, std::ostream& out,
        std::ostream& err, std::stop_token stop = {});

/// The usage text of the three commands, ending in a newline.
std::string usage();
/// The usage text of `command` alone when handles() accepts it, otherwise of all three.
std::string usage(std::string_view command);

} // namespace PDFToolsCommand
