// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Engine/PDFOps.h"
#include "History/HistoryEntry.h"
#include "History/UtcDate.h"
#include "Workflows/ResultRow.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <stop_token>
#include <string_view>
#include <vector>

/// The PDF Tools batch without a window: merge the queued PDFs into one, split each into
/// chunks, or extract a page range from each; every result is written beside its source under
/// a name that is unique on disk and never replaces a file (if one appears at the chosen name
/// meanwhile, the next unique name is taken). One result row per output or failure.
///
/// Synchronous: run a batch on a worker thread. Nothing throws.
namespace PDFToolsWorkflow {

inline constexpr std::string_view kMode = "PDF Tools";

enum class Op { merge, split, extract };
inline constexpr std::array<Op, 3> kOps = {Op::merge, Op::split, Op::extract};
/// "Merge", "Split every N", "Extract pages".
std::string_view label(Op op);

inline constexpr std::int64_t kMinSplit = 1;
inline constexpr std::int64_t kMaxSplit = 500;

/// The notes a row can carry besides page counts.
namespace Notes {
inline constexpr std::string_view kCouldntOpen = "Couldn't open";
inline constexpr std::string_view kBadRange = "Bad range";
inline constexpr std::string_view kCouldntSave = "Couldn't save";
inline constexpr std::string_view kNeedOnePdf = "Need at least one valid PDF";
} // namespace Notes

/// A dropped location the screen queues: its lower-cased extension is "pdf" and it is not a
/// folder.
bool accepts(const std::filesystem::path& location);

/// "1-5" → 1…5, "7" → 7…7, "3-" → 3…3, "x-5" → 5…5; absent for "5-3", "0-3", "1-5-9", "".
std::optional<PDFOps::PageRange> parseRange(std::string_view text);

/// What a run was started with: a snapshot of the screen's options.
struct Options {
    Op op = Op::merge;
    std::int64_t splitN = 10;
    std::optional<PDFOps::PageRange> range; // parseRange of the range text at the start
};

struct BatchHooks {
    std::stop_token stop;                          // checked between files and outputs
    std::function<void(const ResultRow&)> rowDone; // on the batch's thread after each row
};

/// The rows of one run over the snapshot, in order.
std::vector<ResultRow> runBatch(const std::vector<std::filesystem::path>& snapshot,
                                const Options& options, const BatchHooks& hooks = {});

/// One history entry per row, mode "PDF Tools", no sizes.
std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock);

} // namespace PDFToolsWorkflow
