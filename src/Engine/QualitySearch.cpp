// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/QualitySearch.h"

#include "Engine/ParallelFor.h"

#include <cmath>
#include <map>

namespace QualitySearch {

double bestQuality(std::int64_t target, double minQuality, double maxQuality, std::int64_t steps,
                   const std::function<std::int64_t(double)>& sizeAt) {
    if (sizeAt(minQuality) > target)
        return minQuality;
    double lo = minQuality;
    double hi = maxQuality;
    for (std::int64_t step = 0; step < steps; ++step) {
        const double mid = (lo + hi) * 0.5;
        if (sizeAt(mid) <= target)
            lo = mid;
        else
            hi = mid;
    }
    return lo;
}

namespace {

std::int64_t sizeOf(const std::optional<Bytes>& encoding) {
    return encoding ? static_cast<std::int64_t>(encoding->size()) : kNoEncoding;
}

/// The bisection's state; advancing it with the same outcomes in the same order gives exactly
/// bestQuality's sequence of midpoints, however the probes were scheduled.
struct Bisection {
    double lo;
    double hi;
    std::int64_t stepsLeft;
    std::optional<Bytes> loBytes;

    double nextMid() const { return (lo + hi) * 0.5; }
    double midAfter(bool nextFits) const {
        const double mid = nextMid();
        return nextFits ? (mid + hi) * 0.5 : (lo + mid) * 0.5;
    }
    void advance(double mid, std::int64_t target, std::optional<Bytes>&& encoding) {
        if (sizeOf(encoding) <= target) {
            lo = mid;
            loBytes = std::move(encoding);
        } else {
            hi = mid;
        }
        --stepsLeft;
    }
};

/// Guesses whether a quality fits from the sizes measured so far, interpolating log(size)
/// linearly in log(libjpeg scale factor) between the nearest measured qualities, which
/// follows JPEG sizes closely over the whole range. A wrong guess costs one wasted probe.
class SizeModel {
public:
    void record(double quality, std::int64_t bytes) {
        if (bytes != kNoEncoding && bytes > 0)
            m_points[axis(quality)] = std::log(static_cast<double>(bytes));
    }

    bool predictsFit(double quality, std::int64_t target) const {
        const double limit = std::log(static_cast<double>(target));
        if (m_points.size() < 2)
            return m_points.empty() || m_points.begin()->second <= limit;
        const double x = axis(quality);
        auto above = m_points.lower_bound(x);
        if (above == m_points.end())
            --above;
        if (above == m_points.begin())
            ++above;
        const auto below = std::prev(above);
        const double t = (x - below->first) / (above->first - below->first);
        return below->second + t * (above->second - below->second) <= limit;
    }

private:
    // Grows with quality: minus the log of libjpeg's scale factor for this quality.
    static double axis(double quality) {
        const double q = 1 + 99 * quality;
        const double scale = q < 50 ? 5000 / q : 200 - 2 * q;
        return -std::log(std::max(scale, 0.5));
    }

    std::map<double, double> m_points;
};

/// Runs both at once, on two threads when the system gives them; returns when both are done.
void atOnce(const std::function<void()>& first, const std::function<void()>& second) {
    parallelFor(2, 2, [&](int index, int) { index == 0 ? first() : second(); });
}

std::optional<Found> finish(Bisection& search, int encodings) {
    if (!search.loBytes)
        return std::nullopt;
    return Found{search.lo, std::move(*search.loBytes), encodings};
}

std::optional<Found> searchSequentially(std::int64_t target, double minQuality, double maxQuality,
                                        std::int64_t steps, const Encode& encode) {
    Bisection search{minQuality, maxQuality, steps, encode(minQuality)};
    int encodings = 1;
    if (sizeOf(search.loBytes) > target)
        return finish(search, encodings);
    while (search.stepsLeft > 0) {
        const double mid = search.nextMid();
        search.advance(mid, target, encode(mid));
        ++encodings;
    }
    return finish(search, encodings);
}

/// A probe made ahead of time, for the midpoint the bisection may come to next.
struct Speculation {
    double quality = -1;
    std::optional<Bytes> bytes;
};

/// Two probes at a time: the next midpoint on this thread and, on another, the midpoint after
/// it that the size model expects. When the guess was right the next round is already done.
std::optional<Found> searchSpeculatively(std::int64_t target, double minQuality, double maxQuality,
                                         std::int64_t steps, const Encode& encode) {
    Bisection search{minQuality, maxQuality, steps, std::nullopt};
    SizeModel model;
    // The first midpoint is needed unless minQuality fails, the rare case: probe both at once.
    Speculation ahead{search.nextMid(), std::nullopt};
    atOnce([&] { search.loBytes = encode(minQuality); },
           [&] { ahead.bytes = encode(ahead.quality); });
    int encodings = 2;
    model.record(minQuality, sizeOf(search.loBytes));
    if (sizeOf(search.loBytes) > target)
        return finish(search, encodings);
    while (search.stepsLeft > 0) {
        const double mid = search.nextMid();
        std::optional<Bytes> bytes;
        Speculation next;
        if (ahead.quality == mid) {
            bytes = std::move(ahead.bytes);
        } else if (search.stepsLeft >= 2) {
            next.quality = search.midAfter(model.predictsFit(mid, target));
            atOnce([&] { bytes = encode(mid); }, [&] { next.bytes = encode(next.quality); });
            model.record(next.quality, sizeOf(next.bytes));
            encodings += 2;
        } else {
            bytes = encode(mid);
            ++encodings;
        }
        model.record(mid, sizeOf(bytes));
        search.advance(mid, target, std::move(bytes));
        ahead = std::move(next);
    }
    return finish(search, encodings);
}

} // namespace

std::optional<Found> bestEncoding(std::int64_t target, double minQuality, double maxQuality,
                                  std::int64_t steps, const Encode& encode, int parallelism) {
    if (parallelism >= 2 && steps >= 1)
        return searchSpeculatively(target, minQuality, maxQuality, steps, encode);
    return searchSequentially(target, minQuality, maxQuality, steps, encode);
}

} // namespace QualitySearch
