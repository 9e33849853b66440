// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/PDFToolsWorkflow.h"

// Placeholder until the batch is written.
namespace PDFToolsWorkflow {

std::string_view label(Op op) {
    switch (op) {
    case Op::merge:
        return "Merge";
    case Op::split:
        return "Split every N";
    case Op::extract:
        return "Extract pages";
    }
    return {};
}

bool accepts(const std::filesystem::path&) {
    return false;
}

std::optional<PDFOps::PageRange> parseRange(std::string_view) {
    return std::nullopt;
}

std::vector<ResultRow> runBatch(const std::vector<std::filesystem::path>&, const Options&,
                                const BatchHooks&) {
    return {};
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock) {
    return ResultRows::historyEntries(rows, kMode, clock);
}

} // namespace PDFToolsWorkflow
