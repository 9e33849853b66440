// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/HistoryStore.h"

#include <QObject>
#include <memory>

/// Turns HistoryStore's callback observers into a Qt signal: `changed()` is emitted after every
/// change of the store's entries (a recorded batch, a clear), synchronously, from inside the
/// store's call.
///
/// Threading: the UI thread only, like the store itself. Lifetime: the store must outlive the
/// watcher; the watcher removes its observer when destroyed, so it may go away at any time,
/// even from a slot connected to its own `changed()` or to another watcher's `changed()` during
/// the same notification (the store calls a snapshot of its observers, so a removed observer
/// can still be reached once; the watcher's callback then does nothing).
class StoreWatcher : public QObject {
    Q_OBJECT

public:
    explicit StoreWatcher(HistoryStore& store, QObject* parent = nullptr);
    ~StoreWatcher() override;

    HistoryStore& store() const { return m_store; }

signals:
    void changed();

private:
    HistoryStore& m_store;
    std::shared_ptr<StoreWatcher*> m_self; // the observer holds a weak reference to it
    HistoryStore::ObserverId m_observer;
};
