// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/ByteCountFormat.h"

#include <array>
#include <charconv>
#include <string_view>

namespace {

struct Unit {
    std::string_view name;
    std::uint64_t bytes;
    int decimals;
};

constexpr std::array<Unit, 6> kUnits = {{{"KB", 1'000ULL, 0},
                                         {"MB", 1'000'000ULL, 1},
                                         {"GB", 1'000'000'000ULL, 2},
                                         {"TB", 1'000'000'000'000ULL, 2},
                                         {"PB", 1'000'000'000'000'000ULL, 2},
                                         {"EB", 1'000'000'000'000'000'000ULL, 2}}};

std::string decimal(std::uint64_t value) {
    std::array<char, 24> digits{};
    const auto result = std::to_chars(digits.data(), digits.data() + digits.size(), value);
    return std::string(digits.data(), result.ptr);
}

// `scaled` counts units of 10^-decimals; trailing zeros of the fraction are dropped.
std::string withDecimals(std::uint64_t scaled, int decimals) {
    std::uint64_t divisor = 1;
    for (int i = 0; i < decimals; ++i) {
        divisor *= 10;
    }
    std::string text = decimal(scaled / divisor);
    std::uint64_t fraction = scaled % divisor;
    while (decimals > 0 && fraction % 10 == 0 && fraction != 0) {
        fraction /= 10;
        --decimals;
    }
    if (fraction != 0) {
        const std::string digits = decimal(fraction);
        text += '.';
        text.append(static_cast<std::size_t>(decimals) - digits.size(), '0');
        text += digits;
    }
    return text;
}

std::string magnitudeText(std::uint64_t bytes) {
    if (bytes == 0) {
        return "Zero KB";
    }
    if (bytes < 1000) {
        return decimal(bytes) + (bytes == 1 ? " byte" : " bytes");
    }
    for (std::size_t i = 0; i < kUnits.size(); ++i) {
        const Unit& unit = kUnits[i];
        std::uint64_t step = unit.bytes;
        std::uint64_t limit = 1000;
        for (int d = 0; d < unit.decimals; ++d) {
            step /= 10;
            limit *= 10;
        }
        const std::uint64_t scaled = (bytes + step / 2) / step;
        if (scaled < limit || i + 1 == kUnits.size()) {
            return withDecimals(scaled, unit.decimals) + " " + std::string(unit.name);
        }
    }
    return {};
}

} // namespace

namespace ByteCountFormat {

std::string text(std::int64_t bytes) {
    if (bytes < 0) {
        // Negate in unsigned arithmetic: -INT64_MIN does not fit an int64.
        std::string text = "-";
        text += magnitudeText(0 - static_cast<std::uint64_t>(bytes));
        return text;
    }
    return magnitudeText(static_cast<std::uint64_t>(bytes));
}

} // namespace ByteCountFormat
