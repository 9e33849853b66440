// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/BatchController.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>

// Batches finish on the UI thread through QCoreApplication rather than through their
// controller, so that a batch whose screen was closed still records its rows; the controller
// is reached only through a QPointer checked on the UI thread. Events travel the same way.

namespace {

// A flood of page events must not keep the UI thread busy: progressChanged goes out at most
// once per frame.
constexpr int kProgressPaceMs = 16;

// Running batches of every controller; UI thread only.
template <class Run> std::vector<std::shared_ptr<Run>>& registry() {
    static std::vector<std::shared_ptr<Run>> runs;
    return runs;
}

// Appends `event` to the pending ones; a pages event replaces the previous pages event of the
// same file when nothing else of that file came since.
void queueEvent(std::vector<BatchEvent>& pending, const BatchEvent& event) {
    if (event.kind == BatchEvent::Kind::pages) {
        for (auto it = pending.rbegin(); it != pending.rend(); ++it) {
            if (it->file == event.file) {
                if (it->kind == BatchEvent::Kind::pages) {
                    *it = event;
                    return;
                }
                break;
            }
        }
    }
    pending.push_back(event);
}

} // namespace

BatchControllerBase::Run::Run(std::size_t fileCount)
    : files(fileCount), skip(std::make_unique<std::atomic<bool>[]>(fileCount)) {}

void BatchControllerBase::Run::remove(std::size_t file) {
    if (file < files.size()) {
        files[file].removed = true;
        skip[file].store(true);
    }
}

bool BatchControllerBase::Run::applyEvents() {
    std::vector<BatchEvent> events;
    {
        const std::lock_guard lock(eventsMutex);
        events.swap(pendingEvents);
        applyPosted = false;
    }
    for (const BatchEvent& event : events) {
        if (event.file >= files.size()) {
            continue;
        }
        FileState& file = files[event.file];
        switch (event.kind) {
        case BatchEvent::Kind::fileStarted:
            file.started = true;
            break;
        case BatchEvent::Kind::pages:
            file.started = true;
            file.pagesDone = event.pagesDone;
            file.pageCount = event.pageCount;
            break;
        case BatchEvent::Kind::fileFinished:
            file.started = true;
            file.finished = true;
            break;
        }
    }
    return !events.empty();
}

BatchControllerBase::BatchControllerBase(HistoryStore& history, QObject* parent)
    : QObject(parent), m_history(history), m_progressPace(new QTimer(this)) {
    m_progressPace->setSingleShot(true);
    m_progressPace->setInterval(kProgressPaceMs);
    connect(m_progressPace, &QTimer::timeout, this, [this] {
        if (m_progressPending) {
            m_progressPending = false;
            m_progressPace->start();
            emit progressChanged();
        }
    });
}

BatchControllerBase::~BatchControllerBase() {
    requestStop();
}

BatchProgress BatchControllerBase::progress() const {
    BatchProgress progress;
    if (!m_run) {
        return progress;
    }
    double partial = 0;
    for (std::size_t i = 0; i < m_run->files.size(); ++i) {
        const FileState& file = m_run->files[i];
        if (file.removed && !file.started) {
            continue; // skipped by the batch
        }
        ++progress.fileCount;
        if (file.finished) {
            ++progress.filesDone;
            continue;
        }
        if (file.pageCount > 0) {
            partial += std::clamp(static_cast<double>(file.pagesDone) / file.pageCount, 0.0, 1.0);
        }
        if (!progress.current) {
            progress.current = i;
            progress.pagesDone = file.pagesDone;
            progress.pageCount = file.pageCount;
        }
    }
    if (progress.fileCount > 0) {
        progress.fraction = (static_cast<double>(progress.filesDone) + partial) /
                            static_cast<double>(progress.fileCount);
    }
    return progress;
}

void BatchControllerBase::requestStop() {
    if (m_run) {
        m_run->thread.request_stop();
    }
}

void BatchControllerBase::stopAll() {
    for (const auto& run : registry<Run>()) {
        run->thread.request_stop();
    }
}

void BatchControllerBase::waitForAll() {
    stopAll();
    const auto runs = registry<Run>();
    for (const auto& run : runs) {
        if (run->thread.joinable()) {
            run->thread.join();
        }
    }
    for (const auto& run : runs) {
        finish(run);
    }
}

std::size_t BatchControllerBase::runningCount() {
    return registry<Run>().size();
}

void BatchControllerBase::launch(const std::shared_ptr<Run>& run) {
    run->owner = this;
    run->history = &m_history;
    m_run = run;
    registry<Run>().push_back(run);
    m_working = true;
    emit workingChanged(true);
    noteProgress();
    // The thread holds the run until it returns, and finish() joins it before the run can be
    // let go: the run is never destroyed on its own thread.
    run->thread = std::jthread([run](std::stop_token stop) {
        WorkContext context;
        context.stop = std::move(stop);
        context.events = [run](const BatchEvent& event) { post(run, event); };
        context.skipped = [run](std::size_t file) {
            return file < run->files.size() && run->skip[file].load();
        };
        run->execute(context);
        if (auto* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app, [run] { finish(run); }, Qt::QueuedConnection);
        }
    });
}

void BatchControllerBase::post(const std::shared_ptr<Run>& run, const BatchEvent& event) {
    {
        const std::lock_guard lock(run->eventsMutex);
        queueEvent(run->pendingEvents, event);
        if (run->applyPosted) {
            return;
        }
        run->applyPosted = true;
    }
    if (auto* app = QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            app, [run] { applyPostedEvents(run); }, Qt::QueuedConnection);
    }
}

void BatchControllerBase::applyPostedEvents(const std::shared_ptr<Run>& run) {
    if (run->finished || !run->applyEvents()) {
        return;
    }
    if (run->owner) {
        run->owner->noteProgress();
    }
}

void BatchControllerBase::noteProgress() {
    if (m_progressPace->isActive()) {
        m_progressPending = true;
        return;
    }
    m_progressPace->start();
    emit progressChanged();
}

void BatchControllerBase::finish(const std::shared_ptr<Run>& run) {
    if (run->finished) {
        return;
    }
    if (run->thread.joinable()) {
        run->thread.join();
    }
    run->applyEvents();
    run->finished = true;
    auto& runs = registry<Run>();
    runs.erase(std::remove(runs.begin(), runs.end(), run), runs.end());
    QPointer<BatchControllerBase> owner = run->owner;
    if (owner) {
        owner->applyFinish(*run);
    }
    run->history->recordBatch(run->entries());
    if (owner) {
        emit owner->finished();
    }
}

void BatchControllerBase::applyFinish(Run& run) {
    QPointer<BatchControllerBase> self(this);
    run.deliver(*this);
    if (!self) {
        return;
    }
    m_working = false;
    m_run.reset();
    m_progressPace->stop();
    m_progressPending = false;
    emit workingChanged(false);
}
