// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Workflows/OCRWorkflow.h"

#include <ostream>
#include <stop_token>
#include <string>
#include <vector>

/// `parvo ocr PATH...`: the OCR batch of the window, run over scans and PDFs named on the
/// command line. Each becomes NAME-searchable.pdf beside it. Prints one line per result row to
/// `out` as it finishes (the name, the note, the path written) and problems to `err`, all
/// UTF-8. Never touches the history. The engine runs in worker processes (--jobs,
/// --file-timeout); a live progress line goes to `err` when it is a terminal.
namespace OCRCommand {

enum ExitStatus : int {
    kSuccess = 0,     // every row wrote a searchable PDF
    kFailure = 1,     // a row failed, a path was not a scan or PDF, or the batch was stopped
    kBadArguments = 2 // usage printed to `err`
};

/// `arguments` are those after "ocr". A stop request ends the batch at once (the files in
/// progress get no row). `builder` replaces the engine and runs in this process (tests).
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::stop_token stop = {}, const OCRWorkflow::Builder& builder = {});

/// The usage text, ending in a newline.
std::string usage();

} // namespace OCRCommand
