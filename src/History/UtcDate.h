// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

/// Whole-second UTC timestamps in the internet date-time form "YYYY-MM-DDTHH:MM:SSZ".
/// Pure functions: no locale, no time zone database, safe from any thread.
namespace UtcDate {

/// Where "now" comes from; tests pass a fixed clock.
using Clock = std::function<std::chrono::system_clock::time_point()>;

/// The system clock.
Clock systemClock();

/// clock()'s reading rounded down to a whole second, the precision the history keeps.
std::chrono::sys_seconds now(const Clock& clock);

/// For example "2025-03-01T10:15:30Z". Dates before year 0000 or after 9999 are written as
/// the nearest representable one, so that whatever is written can be read back.
std::string format(std::chrono::sys_seconds date);

/// Exactly 20 characters of the form above with a real calendar date and a time of day up to
/// 23:59:59; an upper-case 'T' and 'Z'. Fractional seconds, offsets, a missing zone or any
/// other spelling give nothing.
std::optional<std::chrono::sys_seconds> parse(std::string_view text);

} // namespace UtcDate
