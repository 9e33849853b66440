// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryEntry.h"
#include "History/HistoryJson.h"

#include <clocale>
#include <functional>
#include <gtest/gtest.h>
#include <limits>
#include <set>
#include <string>
#include <vector>

namespace {

using namespace std::chrono;
using namespace std::string_literals;

constexpr std::string_view kIdUpper = "0F8FAD5B-D9CB-469F-A165-70867728950E";

sys_seconds at(int y, unsigned mo, unsigned d, int h, int mi, int s) {
    return sys_days{year{y} / month{mo} / day{d}} + hours{h} + minutes{mi} + seconds{s};
}

TEST(Uuid, RandomIsVersion4UpperCaseAndDistinct) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const Uuid id = Uuid::random();
        const std::string text = id.toString();
        ASSERT_EQ(text.size(), 36u);
        EXPECT_EQ(text[14], '4') << text;
        EXPECT_NE(std::string("89AB").find(text[19]), std::string::npos) << text;
        EXPECT_EQ(text.find_first_of("abcdef"), std::string::npos) << text;
        EXPECT_EQ(Uuid::parse(text), id);
        seen.insert(text);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(Uuid, ParsesTheStandardFormInEitherCaseOnly) {
    const auto upper = Uuid::parse(kIdUpper);
    ASSERT_TRUE(upper);
    EXPECT_EQ(upper->toString(), kIdUpper);
    EXPECT_EQ(Uuid::parse("0f8fad5b-d9cb-469f-a165-70867728950e"), upper);
    EXPECT_EQ(Uuid::parse("0f8fAD5B-d9cb-469F-a165-70867728950E"), upper);
    for (const char* bad :
         {"", "0F8FAD5BD9CB469FA16570867728950E", "{0F8FAD5B-D9CB-469F-A165-70867728950E}",
          "0F8FAD5B-D9CB-469F-A165-70867728950", "0F8FAD5B-D9CB-469F-A165-70867728950EE",
          "0F8FAD5B-D9CB-469FA-165-70867728950E", "0G8FAD5B-D9CB-469F-A165-70867728950E",
          " 0F8FAD5B-D9CB-469F-A165-70867728950"})
        EXPECT_FALSE(Uuid::parse(bad)) << bad;
}

TEST(UtcDate, FormatsAndParsesWholeSecondsUtc) {
    struct Case {
        sys_seconds date;
        const char* text;
    };
    for (const Case& c : {Case{at(2025, 3, 1, 10, 15, 30), "2025-03-01T10:15:30Z"},
                          Case{sys_seconds{}, "1970-01-01T00:00:00Z"},
                          Case{at(2024, 2, 29, 23, 59, 59), "2024-02-29T23:59:59Z"},
                          Case{at(1969, 12, 31, 23, 0, 1), "1969-12-31T23:00:01Z"},
                          Case{at(9999, 12, 31, 23, 59, 59), "9999-12-31T23:59:59Z"}}) {
        EXPECT_EQ(UtcDate::format(c.date), c.text);
        EXPECT_EQ(UtcDate::parse(c.text), c.date) << c.text;
    }
    // Beyond four-digit years the nearest writable date is written, so it still reads back.
    EXPECT_EQ(UtcDate::format(at(12000, 1, 1, 0, 0, 0)), "9999-12-31T23:59:59Z");
    EXPECT_EQ(UtcDate::format(at(-3, 1, 1, 0, 0, 0)), "0000-01-01T00:00:00Z");
}

TEST(UtcDate, RejectsEveryOtherSpelling) {
    for (const char* bad : {"2025-03-01T10:15:30.5Z",
                            "2025-03-01T10:15:30.000Z",
                            "2025-03-01T10:15:30",
                            "2025-03-01T10:15:30+00:00",
                            "2025-03-01t10:15:30Z",
                            "2025-03-01T10:15:30z",
                            "2025-03-01 10:15:30Z",
                            "25-03-01T10:15:30Z",
                            "2025-3-01T10:15:30Z",
                            "2025-13-01T10:15:30Z",
                            "2025-00-01T10:15:30Z",
                            "2025-02-29T10:15:30Z",
                            "2025-04-31T10:15:30Z",
                            "2025-03-01T24:00:00Z",
                            "2025-03-01T10:60:00Z",
                            "2025-03-01T10:15:60Z",
                            " 2025-03-01T10:15:30Z",
                            "2025-03-01T10:15:30Z ",
                            "",
                            "+2025-03-01T10:15:30Z"})
        EXPECT_FALSE(UtcDate::parse(bad)) << bad;
}

TEST(HistoryEntry, MakeStampsWholeSecondsAndAFreshId) {
    const auto instant = system_clock::time_point{at(2025, 3, 1, 10, 15, 30)} + milliseconds{999};
    const UtcDate::Clock clock = [instant] { return instant; };
    const HistoryEntry a = HistoryEntry::make("OCR", "scan.png", clock);
    const HistoryEntry b = HistoryEntry::make("OCR", "scan.png", clock);
    EXPECT_EQ(a.date, at(2025, 3, 1, 10, 15, 30));
    EXPECT_EQ(a.mode, "OCR");
    EXPECT_EQ(a.input, "scan.png");
    EXPECT_NE(a.id, b.id);
    EXPECT_FALSE(a.outputPath || a.before || a.after || a.note);
}

TEST(HistoryEntry, EqualityAndHashCoverEveryField) {
    HistoryEntry base{*Uuid::parse(kIdUpper),
                      at(2025, 3, 1, 10, 15, 30),
                      "Compress",
                      "a.png",
                      "/w/a-small.jpg",
                      2000,
                      1000,
                      "ok"};
    const std::vector<std::function<void(HistoryEntry&)>> changes = {[](HistoryEntry& e) { e.id = Uuid::random(); },
                                                                     [](HistoryEntry& e) { e.date += seconds{1}; },
                                                                     [](HistoryEntry& e) { e.mode = "OCR"; },
                                                                     [](HistoryEntry& e) { e.input = "b.png"; },
                                                                     [](HistoryEntry& e) { e.outputPath.reset(); },
                                                                     [](HistoryEntry& e) { e.before = 2001; },
                                                                     [](HistoryEntry& e) { e.after.reset(); },
                                                                     [](HistoryEntry& e) { e.note = ""; }};
    const std::hash<HistoryEntry> hash;
    for (std::size_t i = 0; i < changes.size(); ++i) {
        HistoryEntry changed = base;
        changes[i](changed);
        EXPECT_NE(changed, base) << "field " << i;
        EXPECT_NE(hash(changed), hash(base)) << "field " << i;
    }
    EXPECT_EQ(hash(HistoryEntry(base)), hash(base));
}

TEST(HistoryJson, WritesPrettyOrderedKeysEscapedSlashesAndNoNulls) {
    const HistoryEntry full{*Uuid::parse(kIdUpper),
                            at(2025, 3, 1, 10, 15, 30),
                            "Compress",
                            "a.png",
                            "/w/Trip — Parvo/a-small.jpg",
                            2000,
                            1000,
                            "Copied"};
    const HistoryEntry bare{*Uuid::parse(kIdUpper),
                            at(2025, 3, 1, 10, 15, 31),
                            "OCR",
                            "b/c",
                            std::nullopt,
                            std::nullopt,
                            std::nullopt,
                            std::nullopt};
    EXPECT_EQ(HistoryJson::encode({full, bare}), R"([
  {
    "id": "0F8FAD5B-D9CB-469F-A165-70867728950E",
    "date": "2025-03-01T10:15:30Z",
    "mode": "Compress",
    "input": "a.png",
    "outputPath": "\/w\/Trip — Parvo\/a-small.jpg",
    "before": 2000,
    "after": 1000,
    "note": "Copied"
  },
  {
    "id": "0F8FAD5B-D9CB-469F-A165-70867728950E",
    "date": "2025-03-01T10:15:31Z",
    "mode": "OCR",
    "input": "b\/c"
  }
])");
    EXPECT_EQ(HistoryJson::encode({}), "[]");
}

TEST(HistoryJson, RoundTripKeepsEveryField) {
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    const std::vector<HistoryEntry> entries = {
        {Uuid::random(), at(2025, 3, 1, 10, 15, 30), "PDF Tools",
         "quote \" back \\ tab \t nul \0 end"s, "/a/\x01/\u00f1/\U0001F600", kMin, kMax,
         "line\nbreak"},
        {Uuid::random(), sys_seconds{}, "", "", "", 0, -1, ""},
        {Uuid::random(), at(9999, 12, 31, 23, 59, 59), "OCR", "x.pdf", std::nullopt, std::nullopt,
         std::nullopt, "Couldn't save: Permission denied"}};
    const auto text = HistoryJson::encode(entries);
    ASSERT_TRUE(text);
    EXPECT_EQ(HistoryJson::decode(*text), entries);
}

TEST(HistoryJson, NameThatIsNotUtf8IsWrittenWithReplacementCharacters) {
    HistoryEntry entry{Uuid::random(), sys_seconds{}, "Compress", "caf\xe9.png", {}, {}, {}, {}};
    const auto text = HistoryJson::encode({entry});
    ASSERT_TRUE(text);
    const auto back = HistoryJson::decode(*text);
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 1u);
    EXPECT_EQ(back->front().input, "caf\xef\xbf\xbd.png");
}

std::string object(const std::string& fields) {
    return "[{\"id\": \"0f8fad5b-d9cb-469f-a165-70867728950e\", \"date\": "
           "\"2025-03-01T10:15:30Z\", \"mode\": \"OCR\", \"input\": \"a.png\"" +
           fields + "}]";
}

TEST(HistoryJson, ReadsLeniently) {
    struct Case {
        std::string text;
        std::function<void(const HistoryEntry&)> check;
    };
    const std::vector<Case> cases = {
        {object(""),
         [](const HistoryEntry& e) {
             EXPECT_EQ(e.id.toString(), kIdUpper);
             EXPECT_FALSE(e.outputPath || e.before || e.after || e.note);
         }},
        {object(R"(, "note": null, "outputPath": null, "before": null, "after": null)"),
         [](const HistoryEntry& e) {
             EXPECT_FALSE(e.outputPath || e.before || e.after || e.note);
         }},
        {object(R"(, "extra": {"deep": [1, 2]}, "note": "n", "Note": 5)"),
         [](const HistoryEntry& e) { EXPECT_EQ(e.note, "n"); }},
        {object(R"(, "before": 1.0, "after": 1e3)"),
         [](const HistoryEntry& e) {
             EXPECT_EQ(e.before, 1);
             EXPECT_EQ(e.after, 1000);
         }},
        {object(R"(, "before": -9223372036854775808, "after": 9223372036854775807)"),
         [](const HistoryEntry& e) {
             EXPECT_EQ(e.before, std::numeric_limits<std::int64_t>::min());
             EXPECT_EQ(e.after, std::numeric_limits<std::int64_t>::max());
         }},
        {R"([{"input":"a\/b","mode":"OCR","date":"2025-03-01T10:15:30Z",)"
         R"("id":"0F8FAD5B-D9CB-469F-A165-70867728950E"}])",
         [](const HistoryEntry& e) { EXPECT_EQ(e.input, "a/b"); }},
    };
    for (const Case& c : cases) {
        const auto entries = HistoryJson::decode(c.text);
        ASSERT_TRUE(entries) << c.text;
        ASSERT_EQ(entries->size(), 1u) << c.text;
        c.check(entries->front());
    }
}

TEST(HistoryJson, SameBytesAndNumbersUnderACommaDecimalLocale) {
    const std::vector<HistoryEntry> entries = {{*Uuid::parse(kIdUpper), at(2025, 3, 1, 10, 15, 30),
                                                "Compress", "a.png", "/w/a.jpg", 1234567, 1000,
                                                std::nullopt}};
    const auto inC = HistoryJson::encode(entries);
    const std::string previous = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "es_ES.UTF-8"))
        GTEST_SKIP() << "es_ES.UTF-8 locale not generated";
    const auto inEs = HistoryJson::encode(entries);
    const auto whole = HistoryJson::decode(object(R"(, "before": 2.0)"));
    const auto fraction = HistoryJson::decode(object(R"(, "before": 2.5)"));
    std::setlocale(LC_ALL, previous.c_str());
    EXPECT_EQ(inEs, inC);
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->front().before, 2);
    EXPECT_FALSE(fraction);
}

} // namespace
