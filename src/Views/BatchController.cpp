// SPDX-License-Identifier: GPL-3.0-or-later
#include "Views/BatchController.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>
#include <algorithm>

// Batches finish on the UI thread through QCoreApplication rather than through their
// controller, so that a batch whose screen was closed still records its rows; the controller
// is reached only through a QPointer checked on the UI thread.

namespace {

// Batches get their own pool so that a long batch never delays drop resolution (which runs
// on the global pool) and batches of different screens never wait for one another.
QThreadPool& batchPool() {
    static QThreadPool* pool = [] {
        auto* created = new QThreadPool;
        created->setMaxThreadCount(64);
        return created;
    }();
    return *pool;
}

// Running batches of every controller; UI thread only.
template <class Run> std::vector<std::shared_ptr<Run>>& registry() {
    static std::vector<std::shared_ptr<Run>> runs;
    return runs;
}
} // namespace

BatchControllerBase::BatchControllerBase(HistoryStore& history, QObject* parent)
    : QObject(parent), m_history(history) {}

BatchControllerBase::~BatchControllerBase() {
    requestStop();
}

void BatchControllerBase::requestStop() {
    if (m_run) {
        m_run->stop.request_stop();
    }
}

void BatchControllerBase::stopAll() {
    for (const auto& run : registry<Run>()) {
        run->stop.request_stop();
    }
}

void BatchControllerBase::waitForAll() {
    stopAll();
    const auto runs = registry<Run>();
    for (const auto& run : runs) {
        run->worker.waitForFinished();
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
    run->worker = QtConcurrent::run(&batchPool(), [run] {
        run->execute();
        if (auto* app = QCoreApplication::instance()) {
            QMetaObject::invokeMethod(
                app, [run] { finish(run); }, Qt::QueuedConnection);
        }
    });
}

void BatchControllerBase::finish(const std::shared_ptr<Run>& run) {
    if (run->finished) {
        return;
    }
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
    emit workingChanged(false);
}
