// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/OCRWorkflow.h"

#include "Engine/SearchablePDF.h"
#include "Platform/TextRecognizer.h"
#include "Platform/Unicode.h"
#include "Workflows/OutputFiles.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kOutputSuffix = "-searchable.pdf";

std::string lowerExtension(const fs::path& location) {
    return Unicode::toLower(FolderScan::pathExtension(location));
}

bool isEngine(const OCRWorkflow::Builder& builder) {
    using Function = decltype(&OCRWorkflow::engineBuild);
    const Function* target = builder.target<Function>();
    return target != nullptr && *target == &OCRWorkflow::engineBuild;
}

OCRWorkflow::RecognizerFactory factoryFor(const OCRWorkflow::BatchHooks& hooks) {
    if (hooks.makeRecognizers) {
        return hooks.makeRecognizers;
    }
    if (isEngine(hooks.builder)) {
        return OCRWorkflow::engineRecognizers;
    }
    return [](int) { return std::vector<TextRecognizer>{}; };
}

void writeOutput(ResultRow& row, const fs::path& source, const Bytes& bytes,
                 FolderScan::UsedNames& used) {
    using namespace OCRWorkflow::Notes;
    const fs::path out = FolderScan::uniqueURL(OCRWorkflow::outputURL(source), used, false);
    const std::error_code error = OutputFiles::write(bytes, out, OutputFiles::Existing::replace);
    if (error) {
        row.note = std::string(kCouldntSavePrefix) + error.message();
    } else {
        row.saved = out;
        row.note = std::string(kSaved);
    }
}

} // namespace

namespace OCRWorkflow {

const std::set<std::string, std::less<>>& acceptedExtensions() {
    static const std::set<std::string, std::less<>> extensions = {"png",  "jpg",  "jpeg", "heic",
                                                                  "heif", "tiff", "gif",  "pdf"};
    return extensions;
}

bool accepts(const fs::path& location) {
    return acceptedExtensions().count(lowerExtension(location)) != 0 &&
           !FolderScan::isDirectory(location);
}

fs::path outputURL(const fs::path& source) {
    return source.parent_path() / (FolderScan::baseName(source) + std::string(kOutputSuffix));
}

std::optional<Bytes> engineBuild(const fs::path& source, std::span<TextRecognizer> recognizers,
                                 std::stop_token stop) {
    std::error_code error;
    if (!fs::is_regular_file(source, error)) {
        return std::nullopt;
    }
    std::vector<TextRecognizer> own;
    if (recognizers.empty()) {
        own = engineRecognizers(1);
        recognizers = own;
    }
    if (lowerExtension(source) == "pdf") {
        return SearchablePDF::makeSearchable(source, kPdfDpiScale, recognizers, stop);
    }
    return SearchablePDF::buildFromImageFiles({source}, recognizers, stop);
}

std::vector<TextRecognizer> engineRecognizers(int count) {
    const std::vector<std::string> languages = {"es-ES", "en-US"};
    std::vector<TextRecognizer> recognizers;
    const int made = std::max(count, 1);
    recognizers.reserve(static_cast<std::size_t>(made));
    for (int i = 0; i < made; ++i) {
        recognizers.emplace_back(languages);
    }
    return recognizers;
}

FolderScan::UsedNames sourceKeys(const std::vector<fs::path>& sources) {
    FolderScan::UsedNames keys;
    for (const fs::path& source : sources) {
        keys.insert(FolderScan::usedKey(source));
    }
    return keys;
}

std::optional<ResultRow> runFile(const fs::path& source, FolderScan::UsedNames& used,
                                 std::span<TextRecognizer> recognizers, const Builder& builder,
                                 std::stop_token stop) {
    const std::optional<Bytes> bytes = builder(source, recognizers, stop);
    if (!bytes && stop.stop_requested()) {
        return std::nullopt;
    }
    ResultRow row;
    row.name = source.filename().string();
    if (bytes) {
        writeOutput(row, source, *bytes, used);
    } else {
        row.note = std::string(Notes::kNoText);
    }
    return row;
}

std::vector<ResultRow> runBatch(const std::vector<fs::path>& snapshot, const BatchHooks& hooks) {
    FolderScan::UsedNames used = sourceKeys(snapshot);
    std::optional<std::vector<TextRecognizer>> recognizers;
    std::vector<ResultRow> rows;
    rows.reserve(snapshot.size());
    for (const fs::path& source : snapshot) {
        if (hooks.stop.stop_requested()) {
            break;
        }
        if (!recognizers) {
            recognizers = factoryFor(hooks)(hooks.recognizers);
        }
        std::optional<ResultRow> row =
            runFile(source, used, *recognizers, hooks.builder, hooks.stop);
        if (!row) {
            break;
        }
        rows.push_back(std::move(*row));
        if (hooks.rowDone) {
            hooks.rowDone(rows.back());
        }
    }
    return rows;
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock) {
    return ResultRows::historyEntries(rows, kMode, clock);
}

} // namespace OCRWorkflow
