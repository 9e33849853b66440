// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/HistoryEntry.h"
#include "History/UtcDate.h"
#include "History/Uuid.h"
#include "Workflows/FileOutcome.h"

#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

/// One result row of the OCR and PDF Tools screens: a name, where the output was written (if
/// anywhere) and what happened, which every such row shows as a short note.
struct ResultRow {
    Uuid id = Uuid::random();
    std::string name{};                           // a file name, without folders
    std::optional<std::filesystem::path> saved{}; // the file written; absent when none was
    FileOutcome outcome = FileOutcome::written;
    OutcomeCause cause{}; // why it failed, when it did
    int pages = 0;        // pages of a written PDF Tools result

    friend bool operator==(const ResultRow&, const ResultRow&) = default;
};

namespace ResultRows {

/// The row's note on `screen` (see OutcomeText::note).
std::string note(const ResultRow& row, Screen screen);

/// One history entry per row, in row order, all in the screen's mode and dated by one reading
/// of clock(): input = name, outputPath = saved, note = the row's note, no sizes.
std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows, Screen screen,
                                         const UtcDate::Clock& clock);

/// The headless front end's line for a row: name, note and the path written, two spaces
/// apart, ending in a newline; flushed so that a long batch shows its progress.
void print(const ResultRow& row, Screen screen, std::ostream& out);

} // namespace ResultRows
