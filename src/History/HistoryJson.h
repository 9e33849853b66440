// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/HistoryEntry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The history file's content: a UTF-8 JSON array of entry objects, in list order.
/// Pure functions, safe from any thread; nothing is thrown.
namespace HistoryJson {

/// Pretty-printed (one key per line, two-space indent), keys in the order id, date, mode,
/// input, outputPath, before, after, note; absent optional fields are left out (never null);
/// "/" is written as "\/". Text that is not valid UTF-8 (a file name in a legacy encoding) is
/// written with U+FFFD in place of each bad sequence, so one odd name never blocks saving.
/// Absent only when encoding fails for want of memory.
std::optional<std::string> encode(const std::vector<HistoryEntry>& entries);

/// The entries of a history file, in file order. Absent when the text is not JSON, not an
/// array, or any element is not an object with string "id" (a UUID in either case), "date"
/// (whole-second UTC with "Z"), "mode" and "input", and — when present and not null — string
/// "outputPath"/"note" and integer "before"/"after". A number written with a fraction or
/// exponent counts as an integer only when its value is a whole number within 64 bits.
/// Unknown keys are ignored; whitespace and key order do not matter.
std::optional<std::vector<HistoryEntry>> decode(std::string_view text);

} // namespace HistoryJson
