// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/OCRWorkflow.h"

#include "Engine/SearchablePDF.h"
#include "Platform/TextRecognizer.h"
#include "Platform/Unicode.h"
#include "Workflows/EngineProtocol.h"
#include "Workflows/OutputFiles.h"

#include <algorithm>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kOutputSuffix = "-searchable.pdf";

std::string lowerExtension(const fs::path& location) {
    return Unicode::toLower(FolderScan::pathExtension(location));
}

void writeOutput(ResultRow& row, const fs::path& source, const Bytes& bytes,
                 FolderScan::UsedNames& used) {
    const fs::path out = FolderScan::uniqueURL(OCRWorkflow::outputURL(source), used, false);
    const std::error_code error = OutputFiles::write(bytes, out, OutputFiles::Existing::replace);
    if (error) {
        row.outcome = FileOutcome::couldntSave;
        row.cause = {error, error.message(), {}};
    } else {
        row.saved = out;
        row.outcome = FileOutcome::written;
    }
}

std::vector<EngineStep> ocrSteps(const std::vector<fs::path>& snapshot, bool keepStructure) {
    std::vector<EngineStep> steps;
    for (const fs::path& source : snapshot) {
        EngineStep step;
        step.request = EngineProtocol::header(EngineProtocol::Request::ocr);
        step.request["kind"] = lowerExtension(source) == "pdf" ? "pdf" : "image";
        step.request["keepStructure"] = keepStructure;
        step.sources = {source};
        std::error_code error;
        const std::uintmax_t size = fs::file_size(source, error);
        step.bytes = error ? 0 : static_cast<std::int64_t>(size);
        steps.push_back(std::move(step));
    }
    return steps;
}

StepRunner::Transport transportFor(const OCRWorkflow::BatchHooks& hooks) {
    // A stand-in runs here, whatever the workers: it is a test's, not the engine.
    StepRunner::Transport transport{hooks.builder ? std::nullopt : hooks.workers, {}};
    if (hooks.builder) {
        transport.local = [builder = hooks.builder](const EngineStep& step, WorkerMessage&& request,
                                                    ReplyLink& link, std::stop_token stop) {
            const std::optional<Bytes> bytes = builder(step.sources.front(), {}, stop);
            // A document abandoned by the stop gets no answer, as a worker's gets none.
            if (bytes || !stop.stop_requested()) {
                StepRunner::answer(request, link, bytes);
            }
        };
    }
    return transport;
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

ResultRow rowFor(const fs::path& source, StepRunner::EngineAnswer answer,
                 FolderScan::UsedNames& used) {
    ResultRow row;
    row.name = source.filename().string();
    row.cause = answer.cause;
    if (answer.bytes) {
        writeOutput(row, source, *answer.bytes, used);
    } else {
        row.outcome = FileOutcomes::ofFailure(answer.cause, FileOutcome::failed);
    }
    return row;
}

std::vector<ResultRow> runBatch(const std::vector<fs::path>& snapshot, const BatchHooks& hooks) {
    FolderScan::UsedNames used = sourceKeys(snapshot);
    std::vector<ResultRow> rows;
    rows.reserve(snapshot.size());
    StepRunner::Runner runner(transportFor(hooks));
    runner.run(ocrSteps(snapshot, hooks.keepStructure),
               [&](std::size_t file, StepReply&& reply) {
                   rows.push_back(rowFor(snapshot[file], StepRunner::answerOf(reply), used));
                   if (hooks.rowDone) {
                       hooks.rowDone(rows.back());
                   }
               },
               {hooks.stop, hooks.events, hooks.skipped});
    return rows;
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock) {
    return ResultRows::historyEntries(rows, Screen::ocr, clock);
}

} // namespace OCRWorkflow
