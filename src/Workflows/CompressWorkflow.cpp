// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/CompressWorkflow.h"

#include "Engine/ImageCompressor.h"
#include "Engine/PDFCompressor.h"
#include "Platform/Unicode.h"
#include "Workflows/EngineWorkers.h"
#include "Workflows/OutputFiles.h"

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
        row.note = std::string(CompressWorkflow::Notes::kCouldntSavePrefix) + error.message();
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
                bool compressorGaveBytes, FolderScan::UsedNames& used) {
    using namespace CompressWorkflow::Notes;
    const fs::path out = FolderScan::uniqueURL(*job.copyDst, used, false);
    makeParent(out);
    clearFolderAt(out);
    const std::error_code error = OutputFiles::copy(job.src, out, OutputFiles::Existing::replace);
    if (error) {
        row.note = std::string(kCouldntCopyPrefix) + error.message();
    } else {
        row.saved = out;
        row.note = std::string(compressorGaveBytes ? kCopiedAlreadySmall : kCopiedCouldntCompress);
    }
}

bool isPdf(const fs::path& source) {
    return Unicode::toLower(FolderScan::pathExtension(source)) == "pdf";
}

std::vector<EngineStep> compressSteps(const std::vector<CompressWorkflow::Job>& snapshot,
                                      SizeTarget target) {
    std::vector<EngineStep> steps;
    for (const CompressWorkflow::Job& job : snapshot) {
        EngineStep step;
        step.request = {{"type", "compress"},
                        {"kind", isPdf(job.src) ? "pdf" : "image"},
                        {"target", target.bytes()}};
        step.sources = {job.src};
        step.bytes = CompressWorkflow::fileSize(job.src);
        steps.push_back(std::move(step));
    }
    return steps;
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

Outcome runJob(const Job& job, SizeTarget target, FolderScan::UsedNames& used,
               const Compressor& compressor) {
    Outcome row;
    row.name = job.name();
    row.before = fileSize(job.src);
    row.after = row.before;
    const std::optional<Bytes> bytes = compressor(job.src, target);
    const auto resultBytes = bytes ? static_cast<std::int64_t>(bytes->size()) : 0;
    if (bytes && resultBytes < row.before) {
        row.after = resultBytes;
        writeCompressed(row, job, *bytes, used);
    } else if (!job.copyDst) {
        row.note = std::string(bytes ? Notes::kAlreadyOptimized : Notes::kCouldntProcess);
    } else {
        copySource(row, job, bytes.has_value(), used);
    }
    return row;
}

std::vector<Outcome> runBatch(const std::vector<Job>& snapshot, SizeTarget target,
                              const BatchHooks& hooks) {
    FolderScan::UsedNames used = sourceKeys(snapshot);
    std::vector<Outcome> rows;
    rows.reserve(snapshot.size());
    const auto finish = [&](std::size_t file, const Compressor& compressor) {
        rows.push_back(runJob(snapshot[file], target, used, compressor));
        if (hooks.rowDone) {
            hooks.rowDone(rows.back());
        }
    };
    if (!hooks.workers) {
        forEachFile(snapshot.size(), hooks.stop, hooks.events, hooks.skipped,
                    [&](std::size_t file) {
                        finish(file, hooks.compressor);
                        return true;
                    });
        return rows;
    }
    // The worker's bytes stand in for the in-process call, so the row is made by runJob.
    runOnWorkers(*hooks.workers, compressSteps(snapshot, target),
                 [&](std::size_t file, StepReply&& reply) {
                     const std::optional<Bytes> bytes = replyBytes(reply);
                     finish(file, [&](const fs::path&, SizeTarget) { return bytes; });
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
        if (row.note && *row.note == Notes::kCouldntProcess) {
            continue;
        }
        HistoryEntry entry = HistoryEntry::make("Compress", row.name, sameDate);
        if (row.saved) {
            entry.outputPath = row.saved->string();
        }
        entry.before = row.before;
        entry.after = row.after;
        entry.note = row.note;
        entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace CompressWorkflow
