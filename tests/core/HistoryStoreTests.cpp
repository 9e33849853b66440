// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/DurableFile.h"
#include "History/HistoryJson.h"
#include "History/HistoryLocation.h"
#include "History/HistoryStore.h"
#include "support/Synth.h"

#include <csignal>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono;

HistoryEntry numbered(int n) {
    return {Uuid::random(),
            sys_seconds{seconds{1'700'000'000 + n}},
            "Compress",
            "photo " + std::to_string(n) + ".png",
            "/w/Trip — Parvo/photo-small.jpg",
            4'000'000 + n,
            900'000,
            std::to_string(n)};
}

/// Entries numbered from, from + 1, …, in the order a workflow would produce them.
std::vector<HistoryEntry> numberedRange(int from, int count) {
    std::vector<HistoryEntry> entries;
    for (int n = from; n < from + count; ++n)
        entries.push_back(numbered(n));
    return entries;
}

std::vector<std::string> notes(const std::vector<HistoryEntry>& entries) {
    std::vector<std::string> out;
    for (const auto& entry : entries)
        out.push_back(entry.note.value_or("-"));
    return out;
}

std::string readText(const fs::path& file) {
    return DurableFile::readAll(file).value_or("<unreadable>");
}

void writeText(const fs::path& file, const std::string& text) {
    Synth::writeFile(file, Bytes(text.begin(), text.end()));
}

std::vector<HistoryEntry> decodeFile(const fs::path& file) {
    auto entries = HistoryJson::decode(readText(file));
    EXPECT_TRUE(entries) << "history file does not decode";
    return entries.value_or(std::vector<HistoryEntry>{});
}

TEST(HistoryStore, NoFileUntilTheFirstNonEmptyBatch) {
    Synth::TempDir dir;
    HistoryStore store(dir / "history.json");
    int changes = 0;
    store.addObserver([&] { ++changes; });
    EXPECT_TRUE(store.entries().empty());
    store.recordBatch({});
    EXPECT_EQ(changes, 0);
    EXPECT_FALSE(fs::exists(dir / "history.json"));
    store.recordBatch(numberedRange(0, 1));
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(decodeFile(dir / "history.json"), store.entries());
}

TEST(HistoryStore, RecordBatchPutsTheLastElementFirstInMemoryAndOnDisk) {
    Synth::TempDir dir;
    HistoryStore store(dir / "history.json");
    std::vector<HistoryEntry> xy = numberedRange(0, 2); // x = 0, y = 1
    std::swap(xy[0], xy[1]);                            // recorded as [y, x]: x ends up first
    store.recordBatch(xy);
    store.recordBatch(numberedRange(10, 3)); // a, b, c
    const std::vector<std::string> expected = {"12", "11", "10", "0", "1"};
    EXPECT_EQ(notes(store.entries()), expected);
    EXPECT_EQ(decodeFile(dir / "history.json"), store.entries());
    EXPECT_EQ(HistoryStore(dir / "history.json").entries(), store.entries());
}

TEST(HistoryStore, KeepsTheNewestThousand) {
    struct Case {
        int stored, added;
    };
    for (const Case c : {Case{1000, 5}, Case{998, 5}, Case{0, 1003}}) {
        Synth::TempDir dir;
        std::vector<HistoryEntry> old = numberedRange(0, c.stored);
        std::reverse(old.begin(), old.end()); // newest first: "stored-1" … "0"
        writeText(dir / "history.json", HistoryJson::encode(old).value());
        HistoryStore store(dir / "history.json");
        ASSERT_EQ(store.entries().size(), static_cast<std::size_t>(c.stored));
        store.recordBatch(numberedRange(5000, c.added));
        ASSERT_EQ(store.entries().size(), HistoryStore::cap) << c.stored;
        EXPECT_EQ(store.entries().front().note, std::to_string(5000 + c.added - 1));
        const int keptOld = static_cast<int>(HistoryStore::cap) - std::min(c.added, 1000);
        if (keptOld > 0) { // the oldest kept is the one just above those dropped
            EXPECT_EQ(store.entries().back().note, std::to_string(c.stored - keptOld));
        }
        EXPECT_EQ(decodeFile(dir / "history.json"), store.entries());
    }
}

TEST(HistoryStore, EmptyBatchLeavesTheFileUntouched) {
    Synth::TempDir dir;
    const fs::path file = dir / "history.json";
    HistoryStore store(file);
    store.recordBatch(numberedRange(0, 2));
    const auto past = fs::file_time_type::clock::now() - hours{24};
    fs::last_write_time(file, past);
    const std::string before = readText(file);
    store.recordBatch({});
    EXPECT_EQ(fs::last_write_time(file), past);
    EXPECT_EQ(readText(file), before);
}

TEST(HistoryStore, ClearSavesAnEmptyArrayAndNotifies) {
    Synth::TempDir dir;
    HistoryStore store(dir / "history.json");
    store.recordBatch(numberedRange(0, 3));
    std::size_t seen = 99;
    store.addObserver([&] { seen = store.entries().size(); });
    store.clear();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(readText(dir / "history.json"), "[]");
    // Clearing an empty store still writes the file.
    Synth::TempDir other;
    HistoryStore empty(other / "history.json");
    empty.clear();
    EXPECT_EQ(readText(other / "history.json"), "[]");
}

TEST(HistoryStore, EmptyArrayFileLoadsEmptyWithoutBackup) {
    for (const char* text : {"[]", " [\n\n]\n", "\xEF\xBB\xBF[]"}) {
        Synth::TempDir dir;
        writeText(dir / "history.json", text);
        HistoryStore store(dir / "history.json");
        EXPECT_TRUE(store.entries().empty());
        EXPECT_FALSE(fs::exists(dir / "history.corrupt.json")) << text;
    }
}

std::string oneEntry(const std::string& id, const std::string& date, const std::string& rest) {
    return R"({"id": )" + id + R"(, "date": )" + date + rest + "}";
}

const std::string kId = R"("0F8FAD5B-D9CB-469F-A165-70867728950E")";
const std::string kDate = R"("2025-03-01T10:15:30Z")";
const std::string kGood = oneEntry(kId, kDate, R"(, "mode": "OCR", "input": "a.png")");

TEST(HistoryStore, CorruptFileIsBackedUpByteForByteAndLeftInPlace) {
    const std::vector<std::string> corrupt = {
        "not json at all",
        "",
        "{}",
        "null",
        "[1]",
        "[" + kGood + ", 7]",
        "[" + kGood + ", " + oneEntry(kId, kDate, R"(, "input": "b.png")") + "]", // no mode
        "[" + oneEntry("12", kDate, R"(, "mode": "OCR", "input": "a.png")") + "]",
        "[" + oneEntry(R"("0F8FAD5B")", kDate, R"(, "mode": "OCR", "input": "a.png")") + "]",
        "[" + oneEntry(kId, R"("2025-03-01T10:15:30.250Z")", R"(, "mode": "m", "input": "a")") +
            "]",
        "[" + oneEntry(kId, R"("2025-03-01T10:15:30")", R"(, "mode": "m", "input": "a")") + "]",
        "[" + oneEntry(kId, "1740824130", R"(, "mode": "m", "input": "a")") + "]",
        "[" + oneEntry(kId, kDate, R"(, "mode": "m", "input": "a", "before": 1.5)") + "]",
        "[" + oneEntry(kId, kDate, R"(, "mode": "m", "input": "a", "after": "12")") + "]",
        "[" + oneEntry(kId, kDate, R"(, "mode": "m", "input": "a", "after": 9223372036854775808)") +
            "]",
        "[" + oneEntry(kId, kDate, R"(, "mode": "m", "input": "a", "note": 5)") + "]",
        "[" + oneEntry(kId, kDate, R"(, "mode": "m", "input": "a", "outputPath": false)") + "]",
        "[" + oneEntry(kId, kDate, ", \"mode\": \"m\", \"input\": \"caf\xe9\"") + "]",
        ("[" + kGood + ", " + kGood + "]").substr(0, 60), // a half-written file
    };
    for (const std::string& text : corrupt) {
        Synth::TempDir dir;
        writeText(dir / "history.corrupt.json", "an older backup");
        writeText(dir / "history.json", text);
        HistoryStore store(dir / "history.json");
        EXPECT_TRUE(store.entries().empty()) << text;
        EXPECT_EQ(readText(dir / "history.corrupt.json"), text);
        EXPECT_EQ(readText(dir / "history.json"), text);
        store.recordBatch(numberedRange(0, 1));
        EXPECT_EQ(decodeFile(dir / "history.json"), store.entries());
        EXPECT_EQ(readText(dir / "history.corrupt.json"), text);
    }
}

TEST(HistoryStore, BackupNameFollowsTheFileName) {
    EXPECT_EQ(HistoryStore("/d/history.json").corruptBackupFile(), "/d/history.corrupt.json");
    EXPECT_EQ(HistoryStore("/d/log").corruptBackupFile(), "/d/log.corrupt.json");
}

TEST(HistoryStore, UnwritableLocationKeepsWorkingInMemory) {
    Synth::TempDir dir;
    writeText(dir / "blocker", "a file where a folder should be");
    for (const fs::path& file : {dir / "blocker" / "history.json", dir.path(), fs::path()}) {
        HistoryStore store(file);
        store.recordBatch(numberedRange(0, 2));
        store.recordBatch(numberedRange(2, 1));
        EXPECT_EQ(store.entries().size(), 3u) << file;
    }
    EXPECT_EQ(readText(dir / "blocker"), "a file where a folder should be");
}

TEST(HistoryStore, ObserversSeeTheNewStateAndCanBeRemoved) {
    Synth::TempDir dir;
    HistoryStore store(dir / "history.json");
    std::vector<std::string> log;
    const auto first = store.addObserver([&] { log.push_back("1:" + *store.entries()[0].note); });
    HistoryStore::ObserverId once = 0;
    once = store.addObserver([&] {
        log.push_back("once");
        store.removeObserver(once);
    });
    store.recordBatch(numberedRange(0, 2));
    store.removeObserver(first);
    store.recordBatch(numberedRange(2, 1));
    EXPECT_EQ(log, (std::vector<std::string>{"1:1", "once"}));
}

TEST(HistoryStore, AnObserverRemovedByAnEarlierOneIsNotCalled) {
    HistoryStore store({});
    int laterCalls = 0;
    HistoryStore::ObserverId later = 0;
    store.addObserver([&] { store.removeObserver(later); });
    later = store.addObserver([&] { ++laterCalls; });
    store.recordBatch(numberedRange(0, 1));
    EXPECT_EQ(laterCalls, 0);
}

TEST(HistoryLocation, FollowsTheXdgDataFolderConvention) {
    Synth::TempDir dir;
    const std::string xdg = (dir / "data").string();
    const std::string home = (dir / "home").string();
    using Env = HistoryLocation::Environment;
    EXPECT_EQ(HistoryLocation::defaultFile(Env{xdg, home}), dir / "data/Parvo/history.json");
    EXPECT_TRUE(fs::is_directory(dir / "data/Parvo"));
    const fs::path fromHome = dir / "home/.local/share/Parvo/history.json";
    EXPECT_EQ(HistoryLocation::defaultFile(Env{std::nullopt, home}), fromHome);
    EXPECT_EQ(HistoryLocation::defaultFile(Env{"", home}), fromHome);
    EXPECT_EQ(HistoryLocation::defaultFile(Env{"relative/data", home}), fromHome);
    EXPECT_TRUE(fs::is_directory(dir / "home/.local/share/Parvo"));
    EXPECT_EQ(HistoryLocation::defaultFile(Env{std::nullopt, std::nullopt}), fs::path());
    EXPECT_EQ(HistoryLocation::defaultFile(Env{"rel", "also/rel"}), fs::path());
}

/// Runs in a forked child: saves one more entry after another until killed.
[[noreturn]] void saveForever(const fs::path& file) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    HistoryStore store(file);
    int next = std::stoi(store.entries().front().note.value()) + 1;
    for (;;)
        store.recordBatch({numbered(next++)});
}

/// The file must hold a complete state: 1,000 entries numbered down from the newest.
int checkComplete(const fs::path& file) {
    const auto entries = decodeFile(file);
    EXPECT_EQ(entries.size(), HistoryStore::cap);
    if (entries.size() != HistoryStore::cap)
        return -1;
    const int top = std::stoi(entries.front().note.value());
    for (std::size_t i = 0; i < entries.size(); ++i)
        if (entries[i].note != std::to_string(top - static_cast<int>(i)))
            return -1;
    return top;
}

TEST(HistoryStoreDurability, KilledWhileSavingLeavesAnOldOrNewCompleteFile) {
    Synth::TempDir dir;
    const fs::path file = dir / "history.json";
    HistoryStore(file).recordBatch(numberedRange(0, 1000)); // every save then writes ~300 KB
    // Kill moments spread over a few times what a child needs to load and save once, so that
    // they land before, during and after saves on fast and slow (sanitizer) builds alike.
    const auto started = steady_clock::now();
    HistoryStore(file).recordBatch({numbered(1000)});
    const auto loadAndSave = duration_cast<microseconds>(steady_clock::now() - started);
    std::mt19937 random(12345);
    std::uniform_int_distribution<long> delayMicroseconds(0, 2 * loadAndSave.count());
    int top = 1000;
    for (int round = 0; round < 24; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0)
            saveForever(file);
        // The last round waits long enough for several saves even on a loaded machine, so the
        // test also shows that saves go on completing.
        const auto delay = round == 23 ? 10 * loadAndSave + milliseconds(200)
                                       : microseconds(delayMicroseconds(random));
        std::this_thread::sleep_for(delay);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
        const int now = checkComplete(file);
        ASSERT_GE(now, top) << "round " << round;
        top = now;
    }
    EXPECT_GT(top, 1000) << "the child never finished a save";
    EXPECT_FALSE(fs::exists(dir / "history.corrupt.json"));
}

} // namespace
