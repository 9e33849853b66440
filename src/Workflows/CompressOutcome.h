// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/Uuid.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace CompressWorkflow {

/// One finished result row of a Compress batch.
struct Outcome {
    Uuid id = Uuid::random();
    std::string name{};      // the source's file name
    std::int64_t before = 0; // source size in bytes; 0 when unreadable
    std::int64_t after = 0;  // result size; `before` when nothing was compressed
    std::optional<std::filesystem::path> saved{}; // the file written (output or copy), if any
    std::optional<std::string> note{};            // absent for a successful compressed write
};

/// The notes a row can carry. The two prefixes are followed by the system's description of
/// the error.
namespace Notes {
inline constexpr std::string_view kCouldntProcess = "Couldn't process";
inline constexpr std::string_view kAlreadyOptimized = "Already optimized \u2014 left as is";
inline constexpr std::string_view kCopiedAlreadySmall = "Copied \u2014 already small";
inline constexpr std::string_view kCopiedCouldntCompress = "Copied \u2014 couldn't compress";
inline constexpr std::string_view kCouldntSavePrefix = "Couldn't save: ";
inline constexpr std::string_view kCouldntCopyPrefix = "Couldn't copy: ";
} // namespace Notes

/// The saving in whole percent: (1 − after ÷ before) × 100 truncated toward zero, never
/// below 0; 0 when `before` is below 1.
std::int64_t pct(const Outcome& outcome);

/// What a row shows after its name: the note when there is one, otherwise
/// "<before> → <after>  (−<pct>%)" with byte counts as ByteCountFormat writes them (UTF-8,
/// arrow U+2192, minus sign U+2212).
std::string resultText(const Outcome& outcome);

} // namespace CompressWorkflow
