// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/OCRWorkflow.h"

#include "Platform/TextRecognizer.h"

// Placeholder until the batch is written.
namespace OCRWorkflow {

const std::set<std::string, std::less<>>& acceptedExtensions() {
    static const std::set<std::string, std::less<>> extensions = {"png",  "jpg",  "jpeg", "heic",
                                                                  "heif", "tiff", "gif",  "pdf"};
    return extensions;
}

bool accepts(const std::filesystem::path&) {
    return false;
}

std::filesystem::path outputURL(const std::filesystem::path& source) {
    return source;
}

std::optional<Bytes> engineBuild(const std::filesystem::path&, std::span<TextRecognizer>,
                                 std::stop_token) {
    return std::nullopt;
}

std::vector<ResultRow> runBatch(const std::vector<std::filesystem::path>&, const BatchHooks&) {
    return {};
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock) {
    return ResultRows::historyEntries(rows, kMode, clock);
}

} // namespace OCRWorkflow
