// SPDX-License-Identifier: GPL-3.0-or-later
#include "Workflows/ByteCountFormat.h"

#include <clocale>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

struct Case {
    std::int64_t bytes;
    const char* text;
};

TEST(ByteCountFormat, FileStyleDecimalUnits) {
    const Case cases[] = {
        {0, "Zero KB"},
        {1, "1 byte"},
        {2, "2 bytes"},
        {999, "999 bytes"},
        {1'000, "1 KB"},
        {1'499, "1 KB"},
        {1'500, "2 KB"}, // half rounds up
        {800'000, "800 KB"},
        {999'499, "999 KB"},
        {999'500, "1 MB"}, // rounding to 1,000 KB moves up a unit
        {1'000'000, "1 MB"},
        {1'049'999, "1 MB"},
        {1'050'000, "1.1 MB"},
        {2'400'000, "2.4 MB"},
        {10'485'760, "10.5 MB"},
        {999'949'999, "999.9 MB"},
        {999'950'000, "1 GB"},
        {1'000'000'000, "1 GB"},
        {1'250'000'000, "1.25 GB"},
        {1'204'999'999, "1.2 GB"}, // 1.20 → trailing zero dropped
        {1'005'000'000, "1.01 GB"},
        {1'000'000'000'000, "1 TB"},
        {std::numeric_limits<std::int64_t>::max(), "9.22 EB"},
        {-2'400'000, "-2.4 MB"},
        {std::numeric_limits<std::int64_t>::min(), "-9.22 EB"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ByteCountFormat::text(c.bytes), c.text) << c.bytes;
    }
}

TEST(ByteCountFormat, SameTextUnderACommaDecimalLocale) {
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (std::setlocale(LC_ALL, "es_ES.UTF-8") == nullptr) {
        GTEST_SKIP() << "es_ES.UTF-8 locale not generated";
    }
    const std::string text = ByteCountFormat::text(2'400'000);
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(text, "2.4 MB");
}

} // namespace
