// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Cli/Syntax.h"
#include "Engine/SizeTarget.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

/// The command line of parvo-bench, parsed without side effects besides the text it prints.
///   image --target email|web|small [--threads N] [--out DIR] FILE...
///   pdf   --target email|web|small|BYTES [--threads N] [--out DIR] FILE...
///   keep-pdf --target email|web|small|BYTES [--threads N] [--out DIR] FILE...
///   synth OUT.png WIDTH HEIGHT
struct BenchOptions {
    enum class Command { image, pdf, keepPdf, synth };

    Command command = Command::image;
    SizeTarget target = SizeTarget::web();
    int threads = 2;
    std::optional<std::filesystem::path> outDir;
    std::vector<std::filesystem::path> files; // inputs; for synth, the one output
    int widthPixels = 0;                      // synth only
    int heightPixels = 0;                     // synth only
};

/// Reads the arguments (without the program name) into `options`. Unless the reading says
/// proceed, the help went to `out` or the refusal (unknown command or option, missing value,
/// no --target or no file, a non-numeric or out-of-range number) to `err`.
Syntax::Reading readBenchArguments(const std::vector<std::string>& arguments, BenchOptions& options,
                                   std::ostream& out, std::ostream& err);
