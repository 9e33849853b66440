// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/UtcDate.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace UtcDate {
namespace {

using namespace std::chrono;

// The pattern: 'd' is a decimal digit, anything else must match literally.
constexpr std::string_view kPattern = "dddd-dd-ddTdd:dd:ddZ";

int digitsAt(std::string_view text, std::size_t from, std::size_t count) {
    int value = 0;
    for (std::size_t i = from; i < from + count; ++i)
        value = value * 10 + (text[i] - '0');
    return value;
}

bool matchesPattern(std::string_view text) {
    if (text.size() != kPattern.size())
        return false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool digit = text[i] >= '0' && text[i] <= '9';
        if (kPattern[i] == 'd' ? !digit : text[i] != kPattern[i])
            return false;
    }
    return true;
}

void putDigits(std::string& out, std::size_t at, std::size_t width, long value) {
    std::array<char, 8> buffer{};
    const auto end = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value).ptr;
    const auto length = static_cast<std::size_t>(end - buffer.data());
    std::copy(buffer.data(), end, out.begin() + static_cast<long>(at + width - length));
}

} // namespace

Clock systemClock() {
    return [] { return system_clock::now(); };
}

sys_seconds now(const Clock& clock) {
    return floor<seconds>(clock());
}

std::string format(sys_seconds date) {
    constexpr sys_seconds kFirst = sys_days{year{0} / January / 1};
    constexpr sys_seconds kLast =
        sys_days{year{9999} / December / 31} + hours{23} + minutes{59} + seconds{59};
    date = std::clamp(date, kFirst, kLast);
    const sys_days day = floor<days>(date);
    const year_month_day ymd{day};
    const hh_mm_ss time{date - day};
    std::string text = "0000-00-00T00:00:00Z";
    putDigits(text, 0, 4, static_cast<int>(ymd.year()));
    putDigits(text, 5, 2, static_cast<long>(static_cast<unsigned>(ymd.month())));
    putDigits(text, 8, 2, static_cast<long>(static_cast<unsigned>(ymd.day())));
    putDigits(text, 11, 2, time.hours().count());
    putDigits(text, 14, 2, time.minutes().count());
    putDigits(text, 17, 2, static_cast<long>(time.seconds().count()));
    return text;
}

std::optional<sys_seconds> parse(std::string_view text) {
    if (!matchesPattern(text))
        return std::nullopt;
    const year_month_day ymd{year{digitsAt(text, 0, 4)},
                             month{static_cast<unsigned>(digitsAt(text, 5, 2))},
                             day{static_cast<unsigned>(digitsAt(text, 8, 2))}};
    const int h = digitsAt(text, 11, 2);
    const int m = digitsAt(text, 14, 2);
    const int s = digitsAt(text, 17, 2);
    if (!ymd.ok() || h > 23 || m > 59 || s > 59)
        return std::nullopt;
    return sys_days{ymd} + hours{h} + minutes{m} + seconds{s};
}

} // namespace UtcDate
