// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "History/HistoryEntry.h"
#include "History/HistoryStore.h"
#include "Workflows/BatchEvents.h"

#include <QObject>
#include <QPointer>
#include <algorithm>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <utility>
#include <vector>

class QTimer;

/// How far the running batch is, as its events told the UI thread.
struct BatchProgress {
    std::size_t filesDone = 0;
    /// Files in the batch, less those taken out of the queue before they were started.
    std::size_t fileCount = 0;
    /// The earliest unfinished file in queue order (a snapshot index), if any.
    std::optional<std::size_t> current;
    int pagesDone = 0; // of `current`; pageCount 0 while its pages are unknown
    int pageCount = 0;
    /// Files done plus the finished share of every file in progress whose pages are known,
    /// over fileCount: 0 to 1.
    double fraction = 0;
};

/// What a batch's work is given besides its snapshot; everything is for the batch's thread.
struct WorkContext {
    std::stop_token stop;
    BatchEvents events; // never empty
    SkipQuery skipped;  // never empty; thread-safe
};

/// The batch mechanism of a working screen: a queue of items, the `working` flag, and one
/// thread per batch (a std::jthread, whose stop token is the batch's stop) that runs a workflow
/// over a snapshot of the queue and returns rows as values. The workflow's events are forwarded to
/// the UI thread and kept as progress() (progressChanged at most about once a frame). A finished
/// batch is applied on the UI thread in this order: done() replaced (doneChanged), the queue
/// updated (queueChanged), working cleared (workingChanged(false)), the rows' history entries
/// handed to HistoryStore::recordBatch in one call, then finished(). A batch that ran to its end
/// empties the queue, items appended during the run included; a stopped one takes out only
/// the files it finished (by their fileFinished events), so the files in progress, those not
/// started and those appended during the run stay queued.
///
/// Threading: create, use and destroy on the UI thread. Only the workflow function runs on the
/// worker; it must not touch widgets or the controller.
///
/// Lifetime: destroying a controller during a batch stops the batch; the batch still
/// finishes without it — its rows are recorded in the history, and nothing is delivered to
/// the destroyed controller. The HistoryStore must therefore outlive every batch: call
/// waitForAll() before destroying it.
class BatchControllerBase : public QObject {
    Q_OBJECT

public:
    ~BatchControllerBase() override;

    bool working() const { return m_working; }
    virtual std::size_t queueSize() const = 0;
    /// True when a batch may start: the queue holds something and no batch is running.
    bool canStart() const { return !m_working && queueSize() > 0; }
    /// The running batch's progress (all zero while idle).
    BatchProgress progress() const;

    /// Stops the running batch, if any, through its stop token: how soon depends on the
    /// workflow (at once when files run in workers, otherwise after the file in progress).
    void requestStop();

    /// Asks every running batch of every controller to stop.
    static void stopAll();
    /// For quitting: stopAll(), then blocks until every batch's worker has returned and
    /// finishes each batch at once (rows delivered to live controllers, history recorded).
    /// Blocks for as long as the workflows take to honour a stop. UI thread only.
    static void waitForAll();
    /// Batches started and not yet finished, across all controllers.
    static std::size_t runningCount();

signals:
    void doneChanged();
    void queueChanged();
    void workingChanged(bool working);
    void progressChanged();
    /// After a batch's history entries were recorded.
    void finished();

protected:
    BatchControllerBase(HistoryStore& history, QObject* parent);

    /// Where one file of the batch's snapshot is, as far as the UI thread knows.
    struct FileState {
        bool started = false;
        bool finished = false;
        bool removed = false; // taken out of the queue during the run
        int pagesDone = 0;
        int pageCount = 0;
    };

    /// One batch: shared by the worker, the registry of running batches and its controller.
    /// The worker touches only execute() and the WorkContext it is given; everything else is
    /// for the UI thread.
    class Run {
    public:
        explicit Run(std::size_t fileCount);
        virtual ~Run() = default;
        /// Worker thread: processes the snapshot, honouring the context's stop.
        virtual void execute(const WorkContext& context) = 0;
        /// UI thread, after execute(): replaces the owner's done rows and updates its queue.
        virtual void deliver(BatchControllerBase& owner) = 0;
        /// UI thread, after execute(): what the batch adds to the history.
        virtual std::vector<HistoryEntry> entries() const = 0;

        /// UI thread: the file at `file` (a snapshot index) is skipped unless already started.
        void remove(std::size_t file);
        /// UI thread: applies the events that arrived so far; true when there were some.
        bool applyEvents();
        bool stopped() const { return thread.get_stop_token().stop_requested(); }

        // The batch's own thread; its stop token is the batch's stop. Joined on the UI thread
        // by finish() (it has then only to return) or by waitForAll(), never by itself.
        std::jthread thread;
        QPointer<BatchControllerBase> owner;
        HistoryStore* history = nullptr;
        bool finished = false;
        std::vector<FileState> files; // UI thread

        // Between the batch's thread and the UI thread.
        std::unique_ptr<std::atomic<bool>[]> skip;
        std::mutex eventsMutex;
        std::vector<BatchEvent> pendingEvents; // pages events of one file coalesced
        bool applyPosted = false;
    };

    /// Sets working, registers the run and starts its worker.
    void launch(const std::shared_ptr<Run>& run);
    /// The running batch, if any.
    Run* currentRun() const { return m_run.get(); }
    /// The running batch's state changed: progressChanged now or within a frame.
    void noteProgress();

private:
    static void finish(const std::shared_ptr<Run>& run);
    static void post(const std::shared_ptr<Run>& run, const BatchEvent& event);
    static void applyPostedEvents(const std::shared_ptr<Run>& run);
    void applyFinish(Run& run);

    HistoryStore& m_history;
    bool m_working = false;
    std::shared_ptr<Run> m_run;
    QTimer* m_progressPace = nullptr; // running: a progressChanged went out less than a frame ago
    bool m_progressPending = false;
};

/// The typed layer: `Item` is what the queue holds (equal items are queued once), `Row` what
/// the workflow returns per processed item.
template <class Item, class Row> class BatchController : public BatchControllerBase {
public:
    /// Worker thread: the whole batch over the snapshot; options are captured by value when
    /// the batch starts. Must return soon once `context.stop` is requested, should report its
    /// files through `context.events` and leave out the files `context.skipped` names.
    using Work =
        std::function<std::vector<Row>(const std::vector<Item>& snapshot, const WorkContext&)>;
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
    /// The running batch's item at snapshot index `file` (as in progress().current); null
    /// while idle or out of range.
    const Item* runningItem(std::size_t file) const {
        const auto* run = static_cast<const TypedRun*>(currentRun());
        return run != nullptr && file < run->snapshot.size() ? &run->snapshot[file] : nullptr;
    }

    /// Queues new items (also while working: they wait for the next batch). Emits
    /// queueChanged when the queue grew.
    void append(const std::vector<Item>& items) {
        const std::size_t before = m_queue.size();
        m_merge(m_queue, items);
        if (m_queue.size() != before) {
            m_origin.resize(m_queue.size(), kAppended);
            emit queueChanged();
        }
    }

    /// Takes the items at `positions` (indices into queue(), in any order; repeated and
    /// out-of-range ones are ignored) out of the queue, keeping the others in order. While
    /// working, the running batch skips those of them it has not started; one in progress or
    /// finished still gives its rows. Emits queueChanged when something was removed.
    bool removeAt(const std::vector<std::size_t>& positions) {
        std::vector<bool> removed(m_queue.size(), false);
        for (const std::size_t position : positions) {
            if (position < m_queue.size()) {
                removed[position] = true;
            }
        }
        Run* run = currentRun();
        const bool changed = keepIf([&](std::size_t i) {
            if (removed[i] && run != nullptr && m_origin[i] != kAppended) {
                run->remove(m_origin[i]);
            }
            return !removed[i];
        });
        if (!changed) {
            return false;
        }
        emit queueChanged();
        if (run != nullptr) {
            noteProgress();
        }
        return true;
    }

    /// Starts a batch over a snapshot of the queue; returns at once. Refused (false) while
    /// working or with an empty queue, so that two batches of one screen never overlap.
    bool start(Work work) {
        if (!canStart()) {
            return false;
        }
        auto run = std::make_shared<TypedRun>(m_queue);
        run->work = std::move(work);
        run->entriesOf = m_entries;
        m_origin.resize(m_queue.size());
        for (std::size_t i = 0; i < m_origin.size(); ++i) {
            m_origin[i] = i;
        }
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
    static constexpr std::size_t kAppended = static_cast<std::size_t>(-1);

    class TypedRun : public Run {
    public:
        explicit TypedRun(std::vector<Item> items)
            : Run(items.size()), snapshot(std::move(items)) {}
        void execute(const WorkContext& context) override { rows = work(snapshot, context); }
        void deliver(BatchControllerBase& owner) override {
            auto& self = static_cast<BatchController&>(owner);
            self.m_done = rows;
            emit self.doneChanged();
            if (stopped()) {
                self.keepIf([&](std::size_t i) {
                    return self.m_origin[i] == kAppended || !files[self.m_origin[i]].finished;
                });
            } else {
                self.m_queue.clear();
            }
            self.m_origin.assign(self.m_queue.size(), kAppended);
            emit self.queueChanged();
        }
        std::vector<HistoryEntry> entries() const override { return entriesOf(rows); }

        std::vector<Item> snapshot;
        Work work;
        Entries entriesOf;
        std::vector<Row> rows;
    };

    // Keeps the queued items (and their origins) for which keep(position) is true, in order;
    // true when some were taken out.
    template <class Keep> bool keepIf(Keep keep) {
        std::size_t kept = 0;
        for (std::size_t i = 0; i < m_queue.size(); ++i) {
            if (keep(i)) {
                if (kept != i) {
                    m_queue[kept] = std::move(m_queue[i]);
                    m_origin[kept] = m_origin[i];
                }
                ++kept;
            }
        }
        if (kept == m_queue.size()) {
            return false;
        }
        m_queue.erase(m_queue.begin() + static_cast<std::ptrdiff_t>(kept), m_queue.end());
        m_origin.resize(kept);
        return true;
    }

    Entries m_entries;
    Merge m_merge;
    std::vector<Item> m_queue;
    // Per queued item while working: its index in the running batch's snapshot, or kAppended
    // for one queued during the run.
    std::vector<std::size_t> m_origin;
    std::vector<Row> m_done;
};
