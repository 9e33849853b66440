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
/// UTF-8. Never touches the history.
///
/// `--workers N` (1 to 8, default 2; not in the usage) sets how many pages of a PDF are
/// recognised at once, for benchmarks.
namespace OcrCommand {

enum ExitStatus : int {
    kSuccess = 0,     // every row wrote a searchable PDF
    kFailure = 1,     // a row failed, a path was not a scan or PDF, or the batch was stopped
    kBadArguments = 2 // usage printed to `err`
};

/// `arguments` are those after "ocr". A stop request ends the batch after the file in
/// progress. `builder` replaces the engine (tests).
int run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::stop_token stop = {}, const OCRWorkflow::Builder& builder = OCRWorkflow::engineBuild);

/// The usage text, ending in a newline.
std::string usage();

} // namespace OcrCommand
