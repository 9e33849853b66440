// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

/// What one compression of one file measured; absent fields are written as null.
struct ResultLine {
    std::string file; // as given on the command line
    std::int64_t bytesIn = 0;
    std::optional<std::int64_t> bytesOut; // absent when the engine returned nothing
    std::optional<double> quality;        // absent too when a PDF came back unchanged
    std::optional<int> encodings;         // JPEG encodings or PDF assemblies made
    double seconds = 0;                   // wall time of the compress call
    double cpuSeconds = 0;                // process CPU (user + system, all threads) of the call
    std::int64_t peakRssKb = 0;           // the process's peak resident set so far
    std::optional<std::string> method;    // keep-pdf: the step whose result came back
    std::optional<bool> fits;             // keep-pdf: whether it fits the target
};

/// One JSON object on one line (no newline), keys in the order of the struct. Numbers are
/// formatted with std::to_chars, so the line is the same under any locale; the file name is
/// JSON-escaped, with invalid UTF-8 replaced by U+FFFD.
std::string toJsonLine(const ResultLine& line);
