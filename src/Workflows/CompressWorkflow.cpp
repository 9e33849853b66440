// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/CompressWorkflow.h"

#include "Engine/ImageCompressor.h"
#include "Engine/PDFCompressor.h"
#include "Platform/Unicode.h"
#include "Workflows/EngineProtocol.h"
#include "Workflows/OutcomeText.h"
#include "Workflows/OutputFiles.h"
#include "Workflows/TargetChoice.h"

#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr double kPdfDpiScale = 1.5;

// The parent may exist already or be impossible to make; either way the write that follows
// reports what matters.
void makeParent(const fs::path& location) {
    std::error_code ignored;
    fs::create_directories(location.parent_path(), ignored);
}

void writeCompressed(CompressWorkflow::Outcome& row, const CompressWorkflow::Job& job,
                     const Bytes& bytes, FolderScan::UsedNames& used) {
    const fs::path out = FolderScan::uniqueURL(job.dst, used, false);
    makeParent(out);
    const std::error_code error = OutputFiles::write(bytes, out, OutputFiles::Existing::replace);
    if (error) {
        row.outcome = FileOutcome::couldntSave;
        row.cause = {error, error.message(), {}};
    } else {
        row.saved = out;
    }
}

// An empty folder at the copy's name would block the rename; anything else there is
// replaced by it.
void clearFolderAt(const fs::path& location) {
    std::error_code error;
    if (fs::symlink_status(location, error).type() == fs::file_type::directory) {
        fs::remove(location, error);
    }
}

void copySource(CompressWorkflow::Outcome& row, const CompressWorkflow::Job& job,
                bool engineGaveBytes, FolderScan::UsedNames& used) {
    const fs::path out = FolderScan::uniqueURL(*job.copyDst, used, false);
    makeParent(out);
    clearFolderAt(out);
    const std::error_code error = OutputFiles::copy(job.src, out, OutputFiles::Existing::replace);
    if (error) {
        row.outcome = FileOutcome::couldntCopy;
        row.cause = {error, error.message(), {}};
    } else {
        row.saved = out;
        row.outcome =
            engineGaveBytes ? FileOutcome::copiedAlreadySmall : FileOutcome::copiedCouldntCompress;
    }
}

bool isPdf(const fs::path& source) {
    return Unicode::toLower(FolderScan::pathExtension(source)) == "pdf";
}

std::vector<EngineStep> compressSteps(const std::vector<CompressWorkflow::Job>& snapshot,
                                      SizeTarget target, bool keepText) {
    std::vector<EngineStep> steps;
    for (const CompressWorkflow::Job& job : snapshot) {
        EngineStep step;
        step.request = EngineProtocol::header(EngineProtocol::Request::compress);
        step.request["kind"] = isPdf(job.src) ? "pdf" : "image";
        step.request["target"] = target.bytes();
        step.request["keepText"] = keepText;
        step.sources = {job.src};
        step.bytes = CompressWorkflow::fileSize(job.src);
        steps.push_back(std::move(step));
    }
    return steps;
}

StepRunner::Transport transportFor(const CompressWorkflow::BatchHooks& hooks, SizeTarget target) {
    // A stand-in runs here, whatever the workers: it is a test's, not the engine.
    StepRunner::Transport transport{hooks.compressor ? std::nullopt : hooks.workers, {}};
    if (hooks.compressor) {
        transport.local = [compressor = hooks.compressor,
                           target](const EngineStep& step, WorkerMessage&& request, ReplyLink& link,
                                   std::stop_token) {
            StepRunner::answer(request, link, compressor(step.sources.front(), target));
        };
    }
    return transport;
}

} // namespace

namespace CompressWorkflow {

std::optional<Bytes> engineCompress(const fs::path& source, SizeTarget target) {
    std::error_code error;
    if (!fs::is_regular_file(source, error)) {
        return std::nullopt;
    }
    if (isPdf(source)) {
        return PDFCompressor::compress(source, target, kPdfDpiScale);
    }
    return ImageCompressor::compress(source, target);
}

std::int64_t fileSize(const fs::path& location) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(location, error);
    return error ? 0 : static_cast<std::int64_t>(size);
}

FolderScan::UsedNames sourceKeys(const std::vector<Job>& jobs) {
    FolderScan::UsedNames keys;
    for (const Job& job : jobs) {
        keys.insert(FolderScan::usedKey(job.src));
    }
    return keys;
}

Outcome rowFor(const Job& job, SizeTarget target, StepRunner::EngineAnswer answer,
               FolderScan::UsedNames& used) {
    Outcome row;
    row.name = job.name();
    row.before = fileSize(job.src);
    row.after = row.before;
    row.cause = answer.cause;
    const auto resultBytes = answer.bytes ? static_cast<std::int64_t>(answer.bytes->size()) : 0;
    const FileOutcome failure = FileOutcomes::ofFailure(answer.cause, FileOutcome::failed);
    if (answer.bytes && resultBytes < row.before) {
        row.after = resultBytes;
        writeCompressed(row, job, *answer.bytes, used);
        if (row.outcome == FileOutcome::written && !answer.fits) {
            row.outcome = FileOutcome::aboveTarget;
            row.targetLabel = std::string(sizeLabel(target));
        }
    } else if (job.copyDst) {
        copySource(row, job, answer.bytes.has_value(), used);
    } else {
        row.outcome = answer.bytes ? FileOutcome::alreadyOptimized : failure;
    }
    return row;
}

Outcome runJob(const Job& job, SizeTarget target, FolderScan::UsedNames& used,
               const Compressor& compressor) {
    return rowFor(job, target, {compressor(job.src, target), {}, 0, true, {}}, used);
}

std::vector<Outcome> runBatch(const std::vector<Job>& snapshot, SizeTarget target,
                              const BatchHooks& hooks) {
    FolderScan::UsedNames used = sourceKeys(snapshot);
    std::vector<Outcome> rows;
    rows.reserve(snapshot.size());
    StepRunner::Runner runner(transportFor(hooks, target));
    runner.run(compressSteps(snapshot, target, hooks.keepText),
               [&](std::size_t file, StepReply&& reply) {
                   rows.push_back(
                       rowFor(snapshot[file], target, StepRunner::answerOf(reply), used));
                   if (hooks.rowDone) {
                       hooks.rowDone(rows.back());
                   }
               },
               {hooks.stop, hooks.events, hooks.skipped});
    return rows;
}

std::vector<HistoryEntry> historyEntries(const std::vector<Outcome>& rows,
                                         const UtcDate::Clock& clock) {
    const auto batchEnd = clock();
    const UtcDate::Clock sameDate = [batchEnd] { return batchEnd; };
    std::vector<HistoryEntry> entries;
    for (const Outcome& row : rows) {
        if (row.outcome == FileOutcome::failed || FileOutcomes::engineLost(row.outcome)) {
            continue;
        }
        HistoryEntry entry = HistoryEntry::make(std::string(OutcomeText::mode(Screen::compress)),
                                                row.name, sameDate);
        if (row.saved) {
            entry.outputPath = row.saved->string();
        }
        entry.before = row.before;
        entry.after = row.after;
        entry.note = note(row);
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace CompressWorkflow
