// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/PDFToolsWorkflow.h"

#include "Platform/PdfDocument.h"
#include "Platform/Unicode.h"
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
// check and the write stays short. A document QPDF can't write still uses up its name.
ResultRow saveDocument(const PdfDocument& document, const fs::path& candidate,
                       FolderScan::UsedNames& used, const BeforeWrite& beforeWrite,
                       std::string note) {
    SaveResult result;
    if (const std::optional<Bytes> bytes = document.writeBytes()) {
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
    ResultRow row = merged
                        ? saveDocument(*merged, sibling(files.front(), "merged.pdf"), used,
                                       hooks.beforeWrite, pagesNote(merged->pageCount(), " pages"))
                        : failedRow(std::string(kMergeFailedName), Notes::kNeedOnePdf);
    return announced(std::move(row), hooks);
}

std::vector<ResultRow> splitFile(const fs::path& source, std::int64_t every,
                                 FolderScan::UsedNames& used, const BatchHooks& hooks) {
    const std::optional<PdfDocument> document = PdfDocument::openFile(source);
    if (!document) {
        return {announced(failedRow(fileName(source), Notes::kCouldntOpen), hooks)};
    }
    const std::string base = FolderScan::baseName(source);
    std::vector<ResultRow> rows;
    // Each chunk is written and dropped before the next is built: a long document split
    // finely would otherwise hold every chunk in memory at once.
    PDFOps::splitEach(*document, every, [&](PdfDocument&& chunk) {
        if (hooks.stop.stop_requested()) {
            return false;
        }
        const std::string name = base + "-part" + std::to_string(rows.size() + 1) + ".pdf";
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
    const std::string name = FolderScan::baseName(source) + "-p" + std::to_string(range->lower) +
                             "-" + std::to_string(range->upper) + ".pdf";
    return announced(saveDocument(*pages, sibling(source, name), used, hooks.beforeWrite,
                                  pagesNote(pages->pageCount(), "p")),
                     hooks);
}

std::vector<ResultRow> runBatch(const std::vector<fs::path>& snapshot, const Options& options,
                                const BatchHooks& hooks) {
    FolderScan::UsedNames used;
    std::vector<ResultRow> rows;
    if (options.op == Op::merge) {
        if (!hooks.stop.stop_requested()) {
            rows.push_back(mergeFiles(snapshot, used, hooks));
        }
        return rows;
    }
    for (const fs::path& source : snapshot) {
        if (hooks.stop.stop_requested()) {
            break;
        }
        if (options.op == Op::extract) {
            rows.push_back(extractFile(source, options.range, used, hooks));
        } else {
            for (ResultRow& row : splitFile(source, options.splitN, used, hooks)) {
                rows.push_back(std::move(row));
            }
        }
    }
    return rows;
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows,
                                         const UtcDate::Clock& clock) {
    return ResultRows::historyEntries(rows, kMode, clock);
}

} // namespace PDFToolsWorkflow
