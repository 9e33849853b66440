// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/PDFToolsWorkflow.h"

#include "Platform/Unicode.h"
#include "Workflows/EngineProtocol.h"
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

ResultRow failedRow(const std::string& name, FileOutcome outcome, OutcomeCause cause = {}) {
    ResultRow row;
    row.name = name;
    row.outcome = outcome;
    row.cause = std::move(cause);
    return row;
}

// The document's bytes are made before a name is chosen, so the window between the name's
// check and the write stays short. A document that gave no bytes still uses up its name.
ResultRow saveBytes(const std::optional<Bytes>& bytes, const fs::path& candidate,
                    FolderScan::UsedNames& used, const BeforeWrite& beforeWrite, int pages,
                    FileOutcome written = FileOutcome::written) {
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
        row.outcome = written;
        row.pages = pages;
    } else {
        row.outcome = FileOutcome::couldntSave;
    }
    return row;
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

// The row of a file whose step failed: how its worker was lost, or that it could not be opened.
ResultRow failedFileRow(const fs::path& source, const StepRunner::EngineAnswer& answer) {
    return failedRow(fileName(source), FileOutcomes::ofFailure(answer.cause, FileOutcome::failed),
                     answer.cause);
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

std::string titleOf(const StepReply& reply) {
    const nlohmann::json& header = reply.message.header;
    const auto title = header.find("title");
    return title != header.end() && title->is_string() ? title->get<std::string>() : std::string();
}

EngineWorkers::Hooks runnerHooks(const BatchHooks& hooks) {
    return {hooks.stop, hooks.events, hooks.skipped};
}

nlohmann::json request(EngineProtocol::Request kind) {
    return EngineProtocol::header(kind);
}

// Without a range the file is still opened, so that an unreadable file reads as one rather
// than as a bad range.
void extractEach(StepRunner::Runner& runner, const std::vector<fs::path>& snapshot,
                 const Options& options, FolderScan::UsedNames& used, const BatchHooks& hooks,
                 std::vector<ResultRow>& rows) {
    const std::optional<PDFOps::PageRange>& range = options.range;
    nlohmann::json extract = request(EngineProtocol::Request::extract);
    extract["keepBookmarks"] = options.keepBookmarks;
    if (range) {
        extract["lower"] = range->lower;
        extract["upper"] = range->upper;
    }
    runner.run(
        stepsFor(snapshot, extract),
        [&](std::size_t file, StepReply&& reply) {
            const fs::path& source = snapshot[file];
            const StepRunner::EngineAnswer answer = StepRunner::answerOf(reply);
            ResultRow row;
            if (answer.stage == EngineProtocol::Stage::range) {
                row = failedRow(fileName(source), FileOutcome::badRange);
            } else if (reply.kind == StepReply::Kind::failure &&
                       answer.stage != EngineProtocol::Stage::write) {
                row = failedFileRow(source, answer);
            } else {
                row = saveBytes(answer.bytes, sibling(source, extractName(source, *range)), used,
                                hooks.beforeWrite, answer.pages);
            }
            rows.push_back(announced(std::move(row), hooks));
        },
        runnerHooks(hooks));
}

// Each chunk is written when its file is at the head of the queue, before the engine builds
// the next one. A worker lost after some chunks adds its row to those written.
void splitEach(StepRunner::Runner& runner, const std::vector<fs::path>& snapshot,
               const Options& options, FolderScan::UsedNames& used, const BatchHooks& hooks,
               std::vector<ResultRow>& rows) {
    std::vector<std::size_t> chunks(snapshot.size(), 0);
    const bool atBookmarks = options.op == Op::splitAtBookmarks;
    nlohmann::json split = request(EngineProtocol::Request::split);
    split["keepBookmarks"] = options.keepBookmarks;
    if (atBookmarks) {
        split["atBookmarks"] = true;
    } else {
        split["every"] = options.splitN;
    }
    std::vector<EngineStep> steps = stepsFor(snapshot, split);
    for (EngineStep& step : steps) {
        step.chunked = true;
    }
    runner.run(
        steps,
        [&](std::size_t file, StepReply&& reply) {
            const fs::path& source = snapshot[file];
            const StepRunner::EngineAnswer answer = StepRunner::answerOf(reply);
            if (reply.kind == StepReply::Kind::chunk) {
                const std::size_t number = ++chunks[file];
                const std::string name =
                    atBookmarks ? PDFOps::bookmarkPartFileName(FolderScan::baseName(source),
                                                               titleOf(reply), number)
                                : chunkName(source, number);
                rows.push_back(announced(saveBytes(answer.bytes, sibling(source, name), used,
                                                   hooks.beforeWrite, answer.pages),
                                         hooks));
            } else if (answer.stage == EngineProtocol::Stage::noBookmarks) {
                rows.push_back(
                    announced(failedRow(fileName(source), FileOutcome::noBookmarks), hooks));
            } else if (reply.kind == StepReply::Kind::failure) {
                rows.push_back(announced(failedFileRow(source, answer), hooks));
            }
        },
        runnerHooks(hooks));
}

// The inputs that open, in order; each opened in a step of its own, so that one that kills
// its worker is left out like an unreadable file. Absent after a stop.
std::optional<std::vector<fs::path>> openedInputs(StepRunner::Runner& runner,
                                                  const std::vector<fs::path>& snapshot,
                                                  const BatchHooks& hooks) {
    std::vector<fs::path> opened;
    const bool finished = runner.run(
        stepsFor(snapshot, request(EngineProtocol::Request::open)),
        [&](std::size_t file, StepReply&& reply) {
            if (reply.kind == StepReply::Kind::result) {
                opened.push_back(snapshot[file]);
            } else if (hooks.mergeInputLeftOut) {
                hooks.mergeInputLeftOut(snapshot[file], StepRunner::answerOf(reply).cause);
            }
        },
        runnerHooks(hooks));
    return finished ? std::optional(std::move(opened)) : std::nullopt;
}

// Each input's title in a merge that keeps bookmarks: its name without the last extension.
nlohmann::json mergeTitles(const std::vector<fs::path>& inputs) {
    nlohmann::json titles = nlohmann::json::array();
    for (const fs::path& input : inputs) {
        titles.push_back(FolderScan::baseName(input));
    }
    return titles;
}

// A merge step's events as its inputs' own: its progress counts the inputs taken so far, so
// an input starts when the one before it is finished.
class MergeEvents {
public:
    MergeEvents(const std::vector<std::size_t>& files, std::size_t fileCount,
                const BatchEvents& events)
        : m_files(files), m_fileCount(fileCount), m_events(events) {}

    void reach(std::size_t done) {
        for (; m_finished < std::min(done, m_files.size()); ++m_finished) {
            startNext();
            emit(BatchEvent::Kind::fileFinished, m_files[m_finished]);
        }
        startNext();
    }

    BatchEvents forStep() {
        return [this](const BatchEvent& event) {
            reach(event.kind == BatchEvent::Kind::pages
                      ? static_cast<std::size_t>(std::max(event.pagesDone, 0))
                      : m_finished);
        };
    }

private:
    void startNext() {
        if (m_started == m_finished && m_started < m_files.size()) {
            emit(BatchEvent::Kind::fileStarted, m_files[m_started++]);
        }
    }
    void emit(BatchEvent::Kind kind, std::size_t file) {
        if (m_events) {
            m_events({kind, file, m_fileCount, 0, 0});
        }
    }

    const std::vector<std::size_t>& m_files;
    std::size_t m_fileCount;
    const BatchEvents& m_events;
    std::size_t m_started = 0;
    std::size_t m_finished = 0;
};

// Tells hooks.mergeInputLeftOut about each input a merge step's reply says it left out.
void tellLeftOut(const nlohmann::json& leftOut, const std::vector<fs::path>& inputs,
                 const BatchHooks& hooks) {
    for (const nlohmann::json& why : leftOut) {
        const auto index = why.find("index");
        if (index != why.end() && index->is_number_unsigned() &&
            index->get<std::size_t>() < inputs.size() && hooks.mergeInputLeftOut) {
            const EngineFailure failure = EngineProtocol::causeOf({why, {}, {}});
            hooks.mergeInputLeftOut(inputs[index->get<std::size_t>()],
                                    {failure.error, failure.detail, {}});
        }
    }
}

// The merge step over `inputs`; it sets the row (left empty for a merge without a valid PDF).
// True when the reply says which inputs the engine left out (they are told to
// hooks.mergeInputLeftOut). A reply that does not (a lost worker, an input this process cannot
// hand over) sets no row unless `lastTry`.
bool mergeStep(StepRunner::Runner& runner, const std::vector<fs::path>& inputs,
               const nlohmann::json& mergeRequest, const fs::path& candidate, bool lastTry,
               FolderScan::UsedNames& used, const BatchHooks& hooks, const BatchEvents& events,
               std::optional<ResultRow>& row) {
    bool answered = false;
    runner.run({{mergeRequest, inputs, 0}},
               [&](std::size_t, StepReply&& reply) {
                   const auto leftOut = reply.message.header.find("leftOut");
                   answered = leftOut != reply.message.header.end() && leftOut->is_array();
                   if (answered) {
                       tellLeftOut(*leftOut, inputs, hooks);
                   } else if (!lastTry) {
                       return;
                   }
                   const StepRunner::EngineAnswer answer = StepRunner::answerOf(reply);
                   const FileOutcome lost =
                       FileOutcomes::ofFailure(answer.cause, FileOutcome::needOnePdf);
                   if (reply.kind == StepReply::Kind::result) {
                       row = saveBytes(answer.bytes, candidate, used, hooks.beforeWrite,
                                       answer.pages, FileOutcome::merged);
                   } else if (lost != FileOutcome::needOnePdf) {
                       row = failedRow(std::string(kMergeFailedName), lost, answer.cause);
                   }
               },
               {hooks.stop, events, {}});
    return answered;
}

// The merge is asked of every input at once; only when that step says nothing of its inputs
// is each input opened in a step of its own before merging those that open, so that one that
// kills its worker is left out like an unreadable file. A merge that fails gets the note of a
// merge without a valid PDF, or how its worker was lost.
void mergeAll(StepRunner::Runner& runner, const std::vector<fs::path>& snapshot, bool keepBookmarks,
              FolderScan::UsedNames& used, const BatchHooks& hooks, std::vector<ResultRow>& rows) {
    std::vector<std::size_t> files;
    std::vector<fs::path> inputs;
    for (std::size_t file = 0; file < snapshot.size(); ++file) {
        if (!hooks.skipped || !hooks.skipped(file)) {
            files.push_back(file);
            inputs.push_back(snapshot[file]);
        }
    }
    nlohmann::json mergeRequest = request(EngineProtocol::Request::merge);
    mergeRequest["keepBookmarks"] = keepBookmarks;
    mergeRequest["titles"] = mergeTitles(inputs);
    std::optional<ResultRow> row;
    MergeEvents events(files, snapshot.size(), hooks.events);
    const bool answered =
        !inputs.empty() && mergeStep(runner, inputs, mergeRequest, mergedCandidate(snapshot), false,
                                     used, hooks, events.forStep(), row);
    if (hooks.stop.stop_requested()) {
        return;
    }
    if (answered) {
        events.reach(files.size());
    } else {
        const std::optional<std::vector<fs::path>> opened = openedInputs(runner, snapshot, hooks);
        if (!opened) {
            return;
        }
        mergeRequest["titles"] = mergeTitles(*opened);
        if (!opened->empty()) {
            mergeStep(runner, *opened, mergeRequest, mergedCandidate(snapshot), true, used, hooks,
                      {}, row);
        }
        if (hooks.stop.stop_requested()) {
            return;
        }
    }
    rows.push_back(announced(
        row ? std::move(*row) : failedRow(std::string(kMergeFailedName), FileOutcome::needOnePdf),
        hooks));
}

std::vector<ResultRow> runOp(const std::vector<fs::path>& snapshot, const Options& options,
                             FolderScan::UsedNames& used, const BatchHooks& hooks) {
    StepRunner::Runner runner({hooks.workers, {}});
    std::vector<ResultRow> rows;
    switch (options.op) {
    case Op::merge:
        if (!hooks.stop.stop_requested()) {
            mergeAll(runner, snapshot, options.keepBookmarks, used, hooks, rows);
        }
        break;
    case Op::split:
    case Op::splitAtBookmarks:
        splitEach(runner, snapshot, options, used, hooks, rows);
        break;
    case Op::extract:
        extractEach(runner, snapshot, options, used, hooks, rows);
        break;
    }
    return rows;
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
    case Op::splitAtBookmarks:
        return "Split at bookmarks";
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
    if (files.empty()) {
        return announced(failedRow(std::string(kMergeFailedName), FileOutcome::needOnePdf), hooks);
    }
    std::vector<ResultRow> rows = runOp(files, {Op::merge, 0, std::nullopt}, used, hooks);
    return rows.empty() ? failedRow(std::string(kMergeFailedName), FileOutcome::needOnePdf)
                        : std::move(rows.front());
}

std::vector<ResultRow> splitFile(const fs::path& source, std::int64_t every,
                                 FolderScan::UsedNames& used, const BatchHooks& hooks) {
    return runOp({source}, {Op::split, every, std::nullopt}, used, hooks);
}

ResultRow extractFile(const fs::path& source, std::optional<PDFOps::PageRange> range,
                      FolderScan::UsedNames& used, const BatchHooks& hooks) {
    std::vector<ResultRow> rows = runOp({source}, {Op::extract, 0, range}, used, hooks);
    return rows.empty() ? failedRow(fileName(source), FileOutcome::failed)
                        : std::move(rows.front());
}

std::vector<ResultRow> runBatch(const std::vector<fs::path>& snapshot, const Options& options,
                                const BatchHooks& hooks) {
    FolderScan::UsedNames used;
    if (snapshot.empty()) {
        const bool mergeOfNothing = options.op == Op::merge && !hooks.stop.stop_requested();
        return mergeOfNothing ? std::vector<ResultRow>{mergeFiles({}, used, hooks)}
                              : std::vector<ResultRow>{};
    }
    return runOp(snapshot, options, used, hooks);
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock) {
    return ResultRows::historyEntries(rows, Screen::pdfTools, clock);
}

} // namespace PDFToolsWorkflow
