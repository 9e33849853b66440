// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/HistoryEntry.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <utility>
#include <vector>

/// The log of finished operations, newest first, at most `cap` entries, persisted as one JSON
/// file (see HistoryJson) that is read once, at construction, and rewritten whole after every
/// change.
///
/// Threading: not thread-safe. Create it and call everything on one thread (the UI thread);
/// file reads and writes happen synchronously inside the calls. Observers run on that thread.
///
/// Failure: nothing is thrown and nothing is reported. A missing or unreadable file gives an
/// empty history. A file that does not decode gives an empty history and its exact bytes are
/// copied to the corrupt-backup file (replacing an earlier one); the bad file stays until the
/// next save replaces it. A save that cannot be written is ignored; `entries()` keeps the
/// in-memory state.
class HistoryStore {
public:
    static constexpr std::size_t cap = 1000;

    using Observer = std::function<void()>;
    using ObserverId = std::uint64_t;

    /// Loads `file`. An empty path keeps the history in memory only. No file is created here.
    explicit HistoryStore(std::filesystem::path file);
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    const std::vector<HistoryEntry>& entries() const { return m_entries; }
    const std::filesystem::path& file() const { return m_file; }

    /// The file's name without its extension, plus ".corrupt.json", in the same folder:
    /// history.json → history.corrupt.json.
    std::filesystem::path corruptBackupFile() const;

    /// Puts `batch` (in the order its workflow produced it) in front of the entries with its
    /// last element newest: [a, b, c] on [x, y] gives [c, b, a, x, y]; drops the oldest beyond
    /// `cap`; saves; then notifies once. An empty batch does nothing at all.
    void recordBatch(const std::vector<HistoryEntry>& batch);

    /// Removes every entry, saves (the file then holds an empty array) and notifies.
    void clear();

    /// `observer` is called after each change of entries(), on the calling thread. An observer
    /// may add or remove observers (including itself); changes apply from the next change.
    ObserverId addObserver(Observer observer);
    void removeObserver(ObserverId id);

private:
    void load();
    void save();
    void notify();

    std::filesystem::path m_file;
    std::vector<HistoryEntry> m_entries;
    std::vector<std::pair<ObserverId, Observer>> m_observers;
    ObserverId m_nextObserverId = 1;
};
