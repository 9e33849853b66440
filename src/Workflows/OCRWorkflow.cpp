// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/OCRWorkflow.h"

#include "Engine/SearchablePDF.h"
#include "Platform/TextRecognizer.h"
#include "Platform/Unicode.h"
#include "Workflows/EngineWorkers.h"
#include "Workflows/OutputFiles.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kOutputSuffix = "-searchable.pdf";

std::string lowerExtension(const fs::path& location) {
    return Unicode::toLower(FolderScan::pathExtension(location));
}

OCRWorkflow::RecognizerFactory factoryFor(const OCRWorkflow::BatchHooks& hooks) {
    if (hooks.makeRecognizers) {
        return hooks.makeRecognizers;
    }
    if (OCRWorkflow::isEngineBuilder(hooks.builder)) {
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

std::vector<EngineStep> ocrSteps(const std::vector<fs::path>& snapshot) {
    std::vector<EngineStep> steps;
    for (const fs::path& source : snapshot) {
        EngineStep step;
        step.request = {{"type", "ocr"},
                        {"kind", lowerExtension(source) == "pdf" ? "pdf" : "image"}};
        step.sources = {source};
        std::error_code error;
        const std::uintmax_t size = fs::file_size(source, error);
        step.bytes = error ? 0 : static_cast<std::int64_t>(size);
        steps.push_back(std::move(step));
    }
    return steps;
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
    return engineBuildReporting(source, recognizers, stop, {});
}

std::optional<Bytes> engineBuildReporting(const fs::path& source,
                                          std::span<TextRecognizer> recognizers,
                                          std::stop_token stop, const PageProgress& progress) {
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
        return SearchablePDF::makeSearchable(source, kPdfDpiScale, recognizers, stop, progress);
    }
    return SearchablePDF::buildFromImageFiles({source}, recognizers, stop, progress);
}

bool isEngineBuilder(const Builder& builder) {
    using Function = decltype(&engineBuild);
    const Function* target = builder.target<Function>();
    return target != nullptr && *target == &engineBuild;
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
    std::vector<ResultRow> rows;
    rows.reserve(snapshot.size());
    const auto keep = [&](ResultRow&& row) {
        rows.push_back(std::move(row));
        if (hooks.rowDone) {
            hooks.rowDone(rows.back());
        }
    };
    if (hooks.workers) {
        // The worker's bytes stand in for the builder, so the row is made by runFile; a stop
        // never reaches it (interrupted files get no reply), so a lost file reads "No text".
        runOnWorkers(*hooks.workers, ocrSteps(snapshot),
                     [&](std::size_t file, StepReply&& reply) {
                         const std::optional<Bytes> bytes = replyBytes(reply);
                         const Builder given = [&](const fs::path&, std::span<TextRecognizer>,
                                                   std::stop_token) { return bytes; };
                         keep(*runFile(snapshot[file], used, {}, given));
                     },
                     {hooks.stop, hooks.events, hooks.skipped});
        return rows;
    }
    std::optional<std::vector<TextRecognizer>> recognizers;
    forEachFile(snapshot.size(), hooks.stop, hooks.events, hooks.skipped, [&](std::size_t file) {
        if (!recognizers) {
            recognizers = factoryFor(hooks)(hooks.recognizers);
        }
        // The engine itself reports its pages; another builder (a test's) cannot.
        const Builder reporting = [&](const fs::path& source, std::span<TextRecognizer> given,
                                      std::stop_token stop) {
            return engineBuildReporting(source, given, stop, [&](int done, int count) {
                if (hooks.events) {
                    hooks.events({BatchEvent::Kind::pages, file, snapshot.size(), done, count});
                }
            });
        };
        std::optional<ResultRow> row =
            runFile(snapshot[file], used, *recognizers,
                    isEngineBuilder(hooks.builder) ? reporting : hooks.builder, hooks.stop);
        if (row) {
            keep(std::move(*row));
        }
        return row.has_value();
    });
    return rows;
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock) {
    return ResultRows::historyEntries(rows, kMode, clock);
}

} // namespace OCRWorkflow
