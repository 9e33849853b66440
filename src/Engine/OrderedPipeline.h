// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <stop_token>
#include <system_error>
#include <thread>
#include <vector>

/// The threads of one run: more would only compete for the same cores.
inline constexpr int kMaxWorkers = 64;

/// The engine's one way to work on pages and probes side by side (files run in worker
/// processes instead; see EngineWorkers). Plain threads that live for one call: Tesseract's
/// and libvips' own threads stay the only other ones, and a sandboxed worker needs nothing
/// beyond creating threads.
///
/// Runs make(index, worker) for every index in [0, count) on up to `workers` threads (at most
/// kMaxWorkers) and hands each result to take(index, result) on the calling thread, strictly
/// in index order. At most `lookAhead` (≥ 1) results are made or waiting beyond the last one
/// taken, so memory stays flat however many indices there are. Each worker number in
/// [0, workers) is used by one thread at a time, so per-worker state indexed by it needs no
/// lock. With one worker everything runs on the calling thread.
///
/// Returns true when every result was taken; false as soon as take returns false or a stop
/// is requested (checked before each make and each take): no further results are taken and
/// the call returns once the threads have finished what they had started. `prepare`, when
/// given, runs once for each worker number on that worker's thread before it makes anything
/// (state that is slow to set up then costs no other worker a wait). make, take and prepare
/// must not throw.
template <typename Result>
bool runOrdered(int count, int workers, int lookAhead, std::stop_token stop,
                const std::function<Result(int index, int worker)>& make,
                const std::function<bool(int index, Result&& result)>& take,
                const std::function<void(int worker)>& prepare = {});

namespace OrderedPipelineDetail {

template <typename Result> class Run {
public:
    Run(int count, int lookAhead, std::stop_token stop, const std::function<Result(int, int)>& make,
        const std::function<void(int)>& prepare)
        : m_count(count), m_lookAhead(std::max(lookAhead, 1)), m_stop(std::move(stop)),
          m_make(make), m_prepare(prepare) {}

    void work(int worker) {
        if (m_prepare)
            m_prepare(worker);
        for (int index = claim(); index >= 0; index = claim()) {
            Result result = m_make(index, worker);
            std::lock_guard lock(m_mutex);
            m_ready.emplace(index, std::move(result));
            m_changed.notify_all();
        }
    }

    /// The result of `index`, once made; false when the run was abandoned first.
    bool await(int index, Result& result) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_abandoned || m_ready.contains(index); });
        const auto found = m_ready.find(index);
        if (found == m_ready.end())
            return false;
        result = std::move(found->second);
        m_ready.erase(found);
        return true;
    }

    void taken(int index) {
        update([&] { m_taken = index + 1; });
    }
    void abandon() {
        update([&] { m_abandoned = true; });
    }

private:
    template <typename Change> void update(Change change) {
        std::lock_guard lock(m_mutex);
        change();
        m_changed.notify_all();
    }

    // The next index to make, or -1 when there is none or the run was abandoned.
    int claim() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] {
            return m_abandoned || m_next >= m_count || m_next < m_taken + m_lookAhead;
        });
        if (!m_abandoned && m_stop.stop_requested()) {
            m_abandoned = true;
            m_changed.notify_all();
        }
        return m_abandoned || m_next >= m_count ? -1 : m_next++;
    }

    const int m_count;
    const int m_lookAhead;
    const std::stop_token m_stop;
    const std::function<Result(int, int)>& m_make;
    const std::function<void(int)>& m_prepare;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, Result> m_ready;
    int m_next = 0;
    int m_taken = 0;
    bool m_abandoned = false;
};

template <typename Result>
bool runHere(int count, const std::stop_token& stop, const std::function<Result(int, int)>& make,
             const std::function<bool(int, Result&&)>& take,
             const std::function<void(int)>& prepare) {
    if (prepare && count > 0)
        prepare(0);
    for (int index = 0; index < count; ++index) {
        if (stop.stop_requested())
            return false;
        Result result = make(index, 0);
        if (stop.stop_requested() || !take(index, std::move(result)))
            return false;
    }
    return true;
}

} // namespace OrderedPipelineDetail

template <typename Result>
bool runOrdered(int count, int workers, int lookAhead, std::stop_token stop,
                const std::function<Result(int index, int worker)>& make,
                const std::function<bool(int index, Result&& result)>& take,
                const std::function<void(int worker)>& prepare) {
    const int threadCount = std::min({workers, count, kMaxWorkers});
    if (threadCount <= 1)
        return OrderedPipelineDetail::runHere(count, stop, make, take, prepare);
    OrderedPipelineDetail::Run<Result> run(count, lookAhead, stop, make, prepare);
    std::vector<std::jthread> threads;
    for (int worker = 0; worker < threadCount; ++worker) {
        try {
            threads.emplace_back([&run, worker] { run.work(worker); });
        } catch (const std::system_error&) {
            break; // fewer threads than asked: the others share the work
        }
    }
    if (threads.empty())
        return OrderedPipelineDetail::runHere(count, stop, make, take, prepare);
    bool complete = true;
    for (int index = 0; index < count && complete; ++index) {
        Result result{};
        complete =
            run.await(index, result) && !stop.stop_requested() && take(index, std::move(result));
        run.taken(index);
    }
    if (!complete)
        run.abandon();
    return complete;
}
