// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/Uuid.h"
#include "Workflows/FileOutcome.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace CompressWorkflow {

/// One finished result row of a Compress batch.
struct Outcome {
    Uuid id = Uuid::random();
    std::string name{};      // the source's file name
    std::int64_t before = 0; // source size in bytes; 0 when unreadable
    std::int64_t after = 0;  // result size; `before` when nothing was compressed
    std::optional<std::filesystem::path> saved{}; // the file written (output or copy), if any
    FileOutcome outcome = FileOutcome::written;
    OutcomeCause cause{};      // why it failed, when it did
    std::string targetLabel{}; // the target's size ("2 MB"), for a result above it
};

/// The saving in whole percent: (1 − after ÷ before) × 100 truncated toward zero, never
/// below 0; 0 when `before` is below 1.
std::int64_t pct(const Outcome& outcome);

/// The row's note, absent for a compressed file written within its target.
std::optional<std::string> note(const Outcome& outcome);

/// What a row shows after its name: "<before> → <after>  (−<pct>%)" for a written result
/// (followed by " · " and the note when it is above its target), otherwise the note. Byte
/// counts as ByteCountFormat writes them (UTF-8, arrow U+2192, minus sign U+2212).
std::string resultText(const Outcome& outcome);

} // namespace CompressWorkflow
