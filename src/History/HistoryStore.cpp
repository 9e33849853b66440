// SPDX-License-Identifier: GPL-3.0-or-later
#include "History/HistoryStore.h"

#include "History/DurableFile.h"
#include "History/HistoryJson.h"

#include <algorithm>
#include <iterator>

HistoryStore::HistoryStore(std::filesystem::path file) : m_file(std::move(file)) {
    load();
}

std::filesystem::path HistoryStore::corruptBackupFile() const {
    if (m_file.empty())
        return {};
    std::filesystem::path backup = m_file;
    backup.replace_filename(m_file.stem().string() + ".corrupt.json");
    return backup;
}

void HistoryStore::recordBatch(const std::vector<HistoryEntry>& batch) {
    if (batch.empty())
        return;
    m_entries.insert(m_entries.begin(), batch.rbegin(), batch.rend());
    if (m_entries.size() > cap)
        m_entries.resize(cap);
    save();
    notify();
}

void HistoryStore::clear() {
    m_entries.clear();
    save();
    notify();
}

HistoryStore::ObserverId HistoryStore::addObserver(Observer observer) {
    const ObserverId id = m_nextObserverId++;
    m_observers.emplace_back(id, std::move(observer));
    return id;
}

void HistoryStore::removeObserver(ObserverId id) {
    std::erase_if(m_observers, [id](const auto& entry) { return entry.first == id; });
}

void HistoryStore::load() {
    if (m_file.empty())
        return;
    const auto bytes = DurableFile::readAll(m_file);
    if (!bytes)
        return;
    if (auto decoded = HistoryJson::decode(*bytes))
        m_entries = std::move(*decoded);
    else
        DurableFile::replace(corruptBackupFile(), *bytes);
}

void HistoryStore::save() {
    if (m_file.empty())
        return;
    if (const auto text = HistoryJson::encode(m_entries))
        DurableFile::replace(m_file, *text);
}

void HistoryStore::notify() {
    // Walks a copy of the ids, so that an observer may add or remove observers: one removed
    // by an earlier observer in this round (its owner may be gone) is not called.
    std::vector<ObserverId> ids;
    for (const auto& entry : m_observers)
        ids.push_back(entry.first);
    for (const ObserverId id : ids) {
        const auto found = std::find_if(m_observers.begin(), m_observers.end(),
                                        [id](const auto& entry) { return entry.first == id; });
        if (found != m_observers.end()) {
            const Observer observer = found->second;
            observer();
        }
    }
}
