// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryEntry.h"

#include <functional>
#include <string_view>
#include <utility>

HistoryEntry HistoryEntry::make(std::string mode, std::string input, const UtcDate::Clock& clock) {
    HistoryEntry entry;
    entry.id = Uuid::random();
    entry.date = UtcDate::now(clock);
    entry.mode = std::move(mode);
    entry.input = std::move(input);
    return entry;
}

namespace {

void combine(std::size_t& seed, std::size_t value) {
    seed ^= value + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2);
}

} // namespace

std::size_t std::hash<HistoryEntry>::operator()(const HistoryEntry& entry) const noexcept {
    const auto& id = entry.id.bytes();
    std::size_t seed = std::hash<std::string_view>{}(
        std::string_view(reinterpret_cast<const char*>(id.data()), id.size()));
    combine(seed, std::hash<std::int64_t>{}(entry.date.time_since_epoch().count()));
    combine(seed, std::hash<std::string>{}(entry.mode));
    combine(seed, std::hash<std::string>{}(entry.input));
    combine(seed, std::hash<std::optional<std::string>>{}(entry.outputPath));
    combine(seed, std::hash<std::optional<std::int64_t>>{}(entry.before));
    combine(seed, std::hash<std::optional<std::int64_t>>{}(entry.after));
    combine(seed, std::hash<std::optional<std::string>>{}(entry.note));
    return seed;
}
