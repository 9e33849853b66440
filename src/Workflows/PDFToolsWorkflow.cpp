// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/PDFToolsWorkflow.h"

#include "Platform/PdfDocument.h"
#include "Platform/Unicode.h"
#include "Workflows/EngineWorkers.h"
#include "Workflows/OutputFiles.h"

#include <charconv>
#include <string>
#include <system_error>

namespace fs = std::filesystem;

namespace PDFToolsWorkflow {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// An optional "+" and one or more ASCII digits, within 64 bits; from_chars alone would also
// take a "-" and stop quietly at the first non-digit.
std::optional<std::int64_t> wholeNumber(std::string_view piece) {
    if (!piece.empty() && piece.front() == '+') {
        piece.remove_prefix(1);
    }
    if (piece.empty() || piece.front() < '0' || piece.front() > '9') {
        return std::nullopt;
    }
    std::int64_t value = 0;
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    if (error != std::errc() || end != piece.data() + piece.size()) {
        return std::nullopt;
    }
    return value;
}

std::vector<std::int64_t> numbersBetweenDashes(std::string_view text) {
    std::vector<std::int64_t> numbers;
    while (!text.empty()) {
        const std::size_t dash = text.find('-');
        const std::string_view piece = text.substr(0, dash);
        text = dash == std::string_view::npos ? std::string_view() : text.substr(dash + 1);
        if (const auto number = wholeNumber(trimBlanks(piece))) {
            numbers.push_back(*number);
        }
    }
    return numbers;
}

std::string pagesNote(int pageCount, std::string_view unit) {
    return std::to_string(pageCount) + std::string(unit);
}

ResultRow failedRow(const std::string& name, std::string_view note) {
    ResultRow row;
    row.name = name;
    row.note = std::string(note);
    return row;
}

// The document's bytes are made before a name is chosen, so the window between the name's
// check and the write stays short. A document that gave no bytes still uses up its name.
ResultRow saveBytes(const std::optional<Bytes>& bytes, const fs::path& candidate,
                    FolderScan::UsedNames& used, const BeforeWrite& beforeWrite, std::string note) {
    SaveResult result;
    if (bytes) {
        result = saveUnique(*bytes, candidate, used, beforeWrite);
    } else {
        result.location = FolderScan::uniqueURL(candidate, used, true);
    }
    ResultRow row;
    row.name = result.location.filename().string();
    if (result.saved) {
        row.saved = result.location;
        row.note = std::move(note);
    } else {
        row.note = std::string(Notes::kCouldntSave);
    }
    return row;
}

ResultRow saveDocument(const PdfDocument& document, const fs::path& candidate,
                       FolderScan::UsedNames& used, const BeforeWrite& beforeWrite,
                       std::string note) {
    return saveBytes(document.writeBytes(), candidate, used, beforeWrite, std::move(note));
}

ResultRow announced(ResultRow row, const BatchHooks& hooks) {
    if (hooks.rowDone) {
        hooks.rowDone(row);
    }
    return row;
}

std::string fileName(const fs::path& source) {
    return source.filename().string();
}

fs::path sibling(const fs::path& source, const std::string& name) {
    return source.parent_path() / name;
}

std::string chunkName(const fs::path& source, std::size_t number) {
    return FolderScan::baseName(source) + "-part" + std::to_string(number) + ".pdf";
}

std::string extractName(const fs::path& source, const PDFOps::PageRange& range) {
    return FolderScan::baseName(source) + "-p" + std::to_string(range.lower) + "-" +
           std::to_string(range.upper) + ".pdf";
}

fs::path mergedCandidate(const std::vector<fs::path>& files) {
    return sibling(files.front(), "merged.pdf");
}

// The worker path: the same names, notes and writes, fed with the workers' bytes.

int replyPages(const StepReply& reply) {
    const nlohmann::json pages = reply.message.header.value("pages", nlohmann::json());
    return pages.is_number_integer() ? pages.get<int>() : 0;
}

bool failedOnRange(const StepReply& reply) {
    return reply.kind == StepReply::Kind::failure && !reply.lost &&
           reply.message.header.value("reason", "") == "range";
}

std::vector<EngineStep> stepsFor(const std::vector<fs::path>& snapshot,
                                 const nlohmann::json& request) {
    std::vector<EngineStep> steps;
    for (const fs::path& source : snapshot) {
        std::error_code error;
        const std::uintmax_t size = fs::file_size(source, error);
        steps.push_back({request, {source}, error ? 0 : static_cast<std::int64_t>(size)});
    }
    return steps;
}

EngineWorkers::Hooks poolHooks(const BatchHooks& hooks) {
    return {hooks.stop, hooks.events, hooks.skipped};
}

void extractOnWorkers(const std::vector<fs::path>& snapshot, std::optional<PDFOps::PageRange> range,
                      FolderScan::UsedNames& used, const BatchHooks& hooks,
                      std::vector<ResultRow>& rows) {
    // Without a range the file is still opened: "Couldn't open" comes before "Bad range".
    const nlohmann::json request =
        range
            ? nlohmann::json{{"type", "extract"}, {"lower", range->lower}, {"upper", range->upper}}
            : nlohmann::json{{"type", "open"}};
    EngineWorkers pool(*hooks.workers);
    pool.run(
        stepsFor(snapshot, request),
        [&](std::size_t file, StepReply&& reply) {
            const fs::path& source = snapshot[file];
            ResultRow row;
            if (failedOnRange(reply) || (reply.kind == StepReply::Kind::result && !range)) {
                row = failedRow(fileName(source), Notes::kBadRange);
            } else if (reply.kind == StepReply::Kind::failure) {
                row = failedRow(fileName(source), Notes::kCouldntOpen);
            } else {
                row = saveBytes(replyBytes(reply), sibling(source, extractName(source, *range)),
                                used, hooks.beforeWrite, pagesNote(replyPages(reply), "p"));
            }
            rows.push_back(announced(std::move(row), hooks));
        },
        poolHooks(hooks));
}

// Each chunk is written when its file is at the head of the queue, before the worker builds
// the next one. A worker lost after some chunks adds a "Couldn't open" row to those written.
void splitOnWorkers(const std::vector<fs::path>& snapshot, std::int64_t every,
                    FolderScan::UsedNames& used, const BatchHooks& hooks,
                    std::vector<ResultRow>& rows) {
    std::vector<std::size_t> chunks(snapshot.size(), 0);
    std::vector<EngineStep> steps = stepsFor(snapshot, {{"type", "split"}, {"every", every}});
    for (EngineStep& step : steps) {
        step.chunked = true;
    }
    EngineWorkers pool(*hooks.workers);
    pool.run(
        steps,
        [&](std::size_t file, StepReply&& reply) {
            const fs::path& source = snapshot[file];
            if (reply.kind == StepReply::Kind::chunk) {
                const std::string name = chunkName(source, ++chunks[file]);
                rows.push_back(
                    announced(saveBytes(replyBytes(reply), sibling(source, name), used,
                                        hooks.beforeWrite, pagesNote(replyPages(reply), "p")),
                              hooks));
            } else if (reply.kind == StepReply::Kind::failure) {
                rows.push_back(announced(failedRow(fileName(source), Notes::kCouldntOpen), hooks));
            }
        },
        poolHooks(hooks));
}

// Each input is opened in a request of its own, so that one that kills its worker is left
// out like an unreadable file; the merge itself then runs on the inputs that opened. A merge
// that fails or loses its worker gets the note of a merge without a valid PDF.
void mergeOnWorkers(const std::vector<fs::path>& snapshot, FolderScan::UsedNames& used,
                    const BatchHooks& hooks, std::vector<ResultRow>& rows) {
    EngineWorkers pool(*hooks.workers);
    std::vector<fs::path> opened;
    const bool allOpened = pool.run(
        stepsFor(snapshot, {{"type", "open"}}),
        [&](std::size_t file, StepReply&& reply) {
            if (reply.kind == StepReply::Kind::result) {
                opened.push_back(snapshot[file]);
            }
        },
        poolHooks(hooks));
    if (!allOpened) {
        return;
    }
    std::optional<ResultRow> row;
    if (!opened.empty()) {
        const std::vector<EngineStep> merge = {{{{"type", "merge"}}, opened, 0}};
        pool.run(merge,
                 [&](std::size_t, StepReply&& reply) {
                     if (reply.kind == StepReply::Kind::result) {
                         row = saveBytes(replyBytes(reply), mergedCandidate(snapshot), used,
                                         hooks.beforeWrite, pagesNote(replyPages(reply), " pages"));
                     }
                 },
                 {hooks.stop, {}, {}});
        if (hooks.stop.stop_requested()) {
            return;
        }
    }
    rows.push_back(announced(row ? std::move(*row)
                                 : failedRow(std::string(kMergeFailedName), Notes::kNeedOnePdf),
                             hooks));
}

} // namespace

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

bool accepts(const fs::path& location) {
    return Unicode::toLower(FolderScan::pathExtension(location)) == "pdf" &&
           !FolderScan::isDirectory(location);
}

std::optional<PDFOps::PageRange> parseRange(std::string_view text) {
    const std::vector<std::int64_t> numbers = numbersBetweenDashes(text);
    if (numbers.size() == 1 && numbers[0] >= 1) {
        return PDFOps::PageRange{numbers[0], numbers[0]};
    }
    if (numbers.size() == 2 && numbers[0] >= 1 && numbers[1] >= numbers[0]) {
        return PDFOps::PageRange{numbers[0], numbers[1]};
    }
    return std::nullopt;
}

SaveResult saveUnique(std::span<const std::uint8_t> bytes, const fs::path& candidate,
                      FolderScan::UsedNames& used, const BeforeWrite& beforeWrite) {
    SaveResult result;
    for (int attempt = 0; attempt < kMaxSaveAttempts; ++attempt) {
        result.location = FolderScan::uniqueURL(candidate, used, true);
        if (beforeWrite) {
            beforeWrite(result.location);
        }
        const std::error_code error =
            OutputFiles::write(bytes, result.location, OutputFiles::Existing::keep);
        if (error != std::errc::file_exists) {
            result.saved = !error;
            return result;
        }
    }
    return result;
}

ResultRow mergeFiles(const std::vector<fs::path>& files, FolderScan::UsedNames& used,
                     const BatchHooks& hooks) {
    const std::optional<PdfDocument> merged = files.empty() ? std::nullopt : PDFOps::merge(files);
    ResultRow row = merged ? saveDocument(*merged, mergedCandidate(files), used, hooks.beforeWrite,
                                          pagesNote(merged->pageCount(), " pages"))
                           : failedRow(std::string(kMergeFailedName), Notes::kNeedOnePdf);
    return announced(std::move(row), hooks);
}

std::vector<ResultRow> splitFile(const fs::path& source, std::int64_t every,
                                 FolderScan::UsedNames& used, const BatchHooks& hooks) {
    const std::optional<PdfDocument> document = PdfDocument::openFile(source);
    if (!document) {
        return {announced(failedRow(fileName(source), Notes::kCouldntOpen), hooks)};
    }
    std::vector<ResultRow> rows;
    // Each chunk is written and dropped before the next is built: a long document split
    // finely would otherwise hold every chunk in memory at once.
    PDFOps::splitEach(*document, every, [&](PdfDocument&& chunk) {
        if (hooks.stop.stop_requested()) {
            return false;
        }
        const std::string name = chunkName(source, rows.size() + 1);
        rows.push_back(announced(saveDocument(chunk, sibling(source, name), used, hooks.beforeWrite,
                                              pagesNote(chunk.pageCount(), "p")),
                                 hooks));
        return true;
    });
    return rows;
}

ResultRow extractFile(const fs::path& source, std::optional<PDFOps::PageRange> range,
                      FolderScan::UsedNames& used, const BatchHooks& hooks) {
    const std::optional<PdfDocument> document = PdfDocument::openFile(source);
    if (!document) {
        return announced(failedRow(fileName(source), Notes::kCouldntOpen), hooks);
    }
    const std::optional<PdfDocument> pages =
        range ? PDFOps::extract(*document, *range) : std::nullopt;
    if (!pages) {
        return announced(failedRow(fileName(source), Notes::kBadRange), hooks);
    }
    return announced(saveDocument(*pages, sibling(source, extractName(source, *range)), used,
                                  hooks.beforeWrite, pagesNote(pages->pageCount(), "p")),
                     hooks);
}

std::vector<ResultRow> runBatch(const std::vector<fs::path>& snapshot, const Options& options,
                                const BatchHooks& hooks) {
    FolderScan::UsedNames used;
    std::vector<ResultRow> rows;
    if (hooks.workers && !snapshot.empty()) {
        switch (options.op) {
        case Op::merge:
            mergeOnWorkers(snapshot, used, hooks, rows);
            break;
        case Op::split:
            splitOnWorkers(snapshot, options.splitN, used, hooks, rows);
            break;
        case Op::extract:
            extractOnWorkers(snapshot, options.range, used, hooks, rows);
            break;
        }
        return rows;
    }
    if (options.op == Op::merge) {
        if (!hooks.stop.stop_requested()) {
            rows.push_back(mergeFiles(snapshot, used, hooks));
        }
        return rows;
    }
    forEachFile(snapshot.size(), hooks.stop, hooks.events, hooks.skipped, [&](std::size_t file) {
        if (options.op == Op::extract) {
            rows.push_back(extractFile(snapshot[file], options.range, used, hooks));
        } else {
            for (ResultRow& row : splitFile(snapshot[file], options.splitN, used, hooks)) {
                rows.push_back(std::move(row));
            }
        }
        return true;
    });
    return rows;
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock) {
    return ResultRows::historyEntries(rows, kMode, clock);
}

} // namespace PDFToolsWorkflow
