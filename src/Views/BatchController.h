// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/HistoryEntry.h"
#include "History/HistoryStore.h"

#include <QFuture>
#include <QObject>
#include <QPointer>
#include <algorithm>
#include <cstddef>
#include <functional>
#include <memory>
#include <stop_token>
#include <utility>
#include <vector>

/// The batch mechanism of a working screen: a queue of items, the `working` flag, and one
/// worker task per batch that runs a workflow over a snapshot of the queue and returns rows
/// as values. A finished batch is applied on the UI thread in this order: done() replaced
/// (doneChanged), queue emptied — items appended during the run leave unprocessed —
/// (queueChanged), working cleared (workingChanged(false)), the rows' history entries handed
/// to HistoryStore::recordBatch in one call, then finished().
///
/// Threading: create, use and destroy on the UI thread. Only the workflow function runs on the
/// worker; it must not touch widgets or the controller.
///
/// Lifetime: destroying a controller during a batch asks the batch to stop after the item in
/// progress; the batch still finishes without it — its rows are recorded in the history, and
/// nothing is delivered to the destroyed controller. The HistoryStore must therefore outlive
/// every batch: call waitForAll() before destroying it.
class BatchControllerBase : public QObject {
    Q_OBJECT

public:
    ~BatchControllerBase() override;

    bool working() const { return m_working; }
    virtual std::size_t queueSize() const = 0;
    /// True when a batch may start: the queue holds something and no batch is running.
    bool canStart() const { return !m_working && queueSize() > 0; }

    /// The running batch, if any, stops after the item in progress and finishes as usual.
    void requestStop();

    /// Asks every running batch of every controller to stop after its item in progress.
    static void stopAll();
    /// For quitting: stopAll(), then blocks until every batch's worker has returned and
    /// finishes each batch at once (rows delivered to live controllers, history recorded).
    /// Blocks for at most the longest item in progress. UI thread only.
    static void waitForAll();
    /// Batches started and not yet finished, across all controllers.
    static std::size_t runningCount();

signals:
    void doneChanged();
    void queueChanged();
    void workingChanged(bool working);
    /// After a batch's history entries were recorded.
    void finished();

protected:
    BatchControllerBase(HistoryStore& history, QObject* parent);

    /// One batch: shared by the worker, the registry of running batches and its controller.
    /// The worker touches only execute(); everything else is for the UI thread.
    class Run {
    public:
        virtual ~Run() = default;
        /// Worker thread: processes the snapshot, honouring `stop` between items.
        virtual void execute() = 0;
        /// UI thread, after execute(): replaces the owner's done rows and empties its queue.
        virtual void deliver(BatchControllerBase& owner) = 0;
        /// UI thread, after execute(): what the batch adds to the history.
        virtual std::vector<HistoryEntry> entries() const = 0;

        std::stop_source stop;
        QFuture<void> worker;
        QPointer<BatchControllerBase> owner;
        HistoryStore* history = nullptr;
        bool finished = false;
    };

    /// Sets working, registers the run and starts its worker.
    void launch(const std::shared_ptr<Run>& run);

private:
    static void finish(const std::shared_ptr<Run>& run);
    void applyFinish(Run& run);

    HistoryStore& m_history;
    bool m_working = false;
    std::shared_ptr<Run> m_run;
};

/// The typed layer: `Item` is what the queue holds (equal items are queued once), `Row` what
/// the workflow returns per processed item.
template <class Item, class Row> class BatchController : public BatchControllerBase {
public:
    /// Worker thread: the whole batch over the snapshot; options are captured by value when
    /// the batch starts. Must return after the item in progress once `stop` is requested.
    using Work =
        std::function<std::vector<Row>(const std::vector<Item>& snapshot, std::stop_token stop)>;
    /// Appends `items` in order, skipping those equal to one already queued.
    using Merge = std::function<void(std::vector<Item>& queue, const std::vector<Item>& items)>;
    /// UI thread: the history entries for a finished batch's rows (possibly none).
    using Entries = std::function<std::vector<HistoryEntry>(const std::vector<Row>& rows)>;

    BatchController(HistoryStore& history, Entries entries, Merge merge = appendUnlessEqual,
                    QObject* parent = nullptr)
        : BatchControllerBase(history, parent), m_entries(std::move(entries)),
          m_merge(std::move(merge)) {}

    const std::vector<Item>& queue() const { return m_queue; }
    const std::vector<Row>& done() const { return m_done; }
    std::size_t queueSize() const override { return m_queue.size(); }

    /// Queues new items (also while working: they wait for the next batch, and the running
    /// batch's finish removes them). Emits queueChanged when the queue grew.
    void append(const std::vector<Item>& items) {
        const std::size_t before = m_queue.size();
        m_merge(m_queue, items);
        if (m_queue.size() != before) {
            emit queueChanged();
        }
    }

    /// Takes the items at `positions` (indices into queue(), in any order; repeated and
    /// out-of-range ones are ignored) out of the queue, keeping the others in order. Refused
    /// (false) while working. Emits queueChanged when something was removed.
    bool removeAt(const std::vector<std::size_t>& positions) {
        if (working()) {
            return false;
        }
        std::vector<bool> removed(m_queue.size(), false);
        for (const std::size_t position : positions) {
            if (position < m_queue.size()) {
                removed[position] = true;
            }
        }
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_queue.size(); ++i) {
            if (!removed[i]) {
                if (kept != i) {
                    m_queue[kept] = std::move(m_queue[i]);
                }
                ++kept;
            }
        }
        if (kept == m_queue.size()) {
            return false;
        }
        m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(kept), m_queue.end());
        emit queueChanged();
        return true;
    }

    /// Starts a batch over a snapshot of the queue; returns at once. Refused (false) while
    /// working or with an empty queue, so that two batches of one screen never overlap.
    bool start(Work work) {
        if (!canStart()) {
            return false;
        }
        auto run = std::make_shared<TypedRun>();
        run->snapshot = m_queue;
        run->work = std::move(work);
        run->entriesOf = m_entries;
        launch(run);
        return true;
    }

    static void appendUnlessEqual(std::vector<Item>& queue, const std::vector<Item>& items) {
        for (const Item& item : items) {
            if (std::find(queue.begin(), queue.end(), item) == queue.end()) {
                queue.push_back(item);
            }
        }
    }

private:
    class TypedRun : public Run {
    public:
        void execute() override { rows = work(snapshot, stop.get_token()); }
        void deliver(BatchControllerBase& owner) override {
            auto& self = static_cast<BatchController&>(owner);
            self.m_done = rows;
            emit self.doneChanged();
            self.m_queue.clear();
            emit self.queueChanged();
        }
        std::vector<HistoryEntry> entries() const override { return entriesOf(rows); }

        std::vector<Item> snapshot;
        Work work;
        Entries entriesOf;
        std::vector<Row> rows;
    };

    Entries m_entries;
    Merge m_merge;
    std::vector<Item> m_queue;
    std::vector<Row> m_done;
};
