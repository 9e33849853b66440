// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/ResultRow.h"

namespace ResultRows {

std::vector<HistoryEntry> historyEntries(const std::vector<ResultRow>& rows, std::string_view mode,
                                         const UtcDate::Clock& clock) {
    const std::chrono::sys_seconds date = UtcDate::now(clock);
    std::vector<HistoryEntry> entries;
    entries.reserve(rows.size());
    for (const ResultRow& row : rows) {
        HistoryEntry entry = HistoryEntry::make(std::string(mode), row.name, [date] {
            return std::chrono::system_clock::time_point(date);
        });
        if (row.saved) {
            entry.outputPath = row.saved->string();
        }
        entry.note = row.note;
        entries.push_back(std::move(entry));
    }
    return entries;
}

void print(const ResultRow& row, std::ostream& out) {
    out << row.name << "  " << row.note;
    if (row.saved) {
        out << "  " << row.saved->string();
    }
    out << std::endl;
}

} // namespace ResultRows
