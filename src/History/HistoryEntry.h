// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/UtcDate.h"
#include "History/Uuid.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

/// One logged result of a finished batch. A plain value: equality and hashing cover all eight
/// fields; `id` is its identity in lists.
struct HistoryEntry {
    Uuid id;
    std::chrono::sys_seconds date{};       // when its batch ended, whole seconds UTC
    std::string mode;                      // "Compress", "OCR" or "PDF Tools"
    std::string input;                     // the input's file name (last path component)
    std::optional<std::string> outputPath; // full path written; absent when nothing was
    std::optional<std::int64_t> before;    // input size in bytes (Compress only)
    std::optional<std::int64_t> after;     // output size in bytes (Compress only)
    std::optional<std::string> note;       // the result row's status text

    /// A new entry with a fresh random id, dated clock() in whole seconds; the optional fields
    /// are left absent for the caller to fill.
    static HistoryEntry make(std::string mode, std::string input, const UtcDate::Clock& clock);

    friend bool operator==(const HistoryEntry&, const HistoryEntry&) = default;
};

template <> struct std::hash<HistoryEntry> {
    std::size_t operator()(const HistoryEntry& entry) const noexcept;
};
