// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/ResultRow.h"

#include "Workflows/OutcomeText.h"

namespace ResultRows {

std::string note(const ResultRow& row, Screen screen) {
    return OutcomeText::note(screen, row.outcome, {row.cause, row.pages, {}});
}

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows, Screen screen,
                                         const UtcDate::Clock& clock) {
    const std::string mode(OutcomeText::mode(screen));
    const std::chrono::sys_seconds date = UtcDate::now(clock);
    std::vector<HistoryEntry> entries;
    entries.reserve(rows.size());
    for (const ResultRow& row : rows) {
        HistoryEntry entry = HistoryEntry::make(
            mode, row.name, [date] { return std::chrono::system_clock::time_point(date); });
        if (row.saved) {
            entry.outputPath = row.saved->string();
        }
        entry.note = note(row, screen);
        entries.push_back(std::move(entry));
    }
    return entries;
}

void print(const ResultRow& row, Screen screen, std::ostream& out) {
    out << row.name << "  " << note(row, screen);
    if (row.saved) {
        out << "  " << row.saved->string();
    }
    out << std::endl;
}

} // namespace ResultRows
