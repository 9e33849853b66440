// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/StoreWatcher.h"

namespace {

HistoryStore::Observer emitterFor(const std::shared_ptr<StoreWatcher*>& self) {
    return [weak = std::weak_ptr<StoreWatcher*>(self)] {
        if (const auto watcher = weak.lock())
            emit(*watcher)->changed();
    };
}

} // namespace

StoreWatcher::StoreWatcher(HistoryStore& store, QObject* parent)
    : QObject(parent), m_store(store), m_self(std::make_shared<StoreWatcher*>(this)),
      m_observer(store.addObserver(emitterFor(m_self))) {}

StoreWatcher::~StoreWatcher() {
    m_store.removeObserver(m_observer);
}
