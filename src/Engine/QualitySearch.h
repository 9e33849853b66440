// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Platform/Bytes.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <optional>

/// Bisection for the highest lossy quality whose encoding fits a byte budget.
namespace QualitySearch {

/// What a probe reports when its encoding produced nothing: too large for any budget.
inline constexpr std::int64_t kNoEncoding = std::numeric_limits<std::int64_t>::max();

/// Probes minQuality; if that is larger than target, returns minQuality at once. Otherwise
/// bisects [minQuality, maxQuality) exactly `steps` times, keeping the lower end on a probe
/// that fits (size <= target), and returns the lower end. Probes are made one at a time, in
/// that order, on the calling thread: 1 probe, or 1 + steps.
double bestQuality(std::int64_t target, double minQuality, double maxQuality, std::int64_t steps,
                   const std::function<std::int64_t(double)>& sizeAt);

/// One encoding made by a probe; absent when the encoder produced nothing.
using Encode = std::function<std::optional<Bytes>(double quality)>;

struct Found {
    double quality = 0;
    Bytes bytes;       // the encoding at `quality`, as the probe made it
    int encodings = 0; // probes made, including speculative ones
};

/// The same search as bestQuality over the sizes of `encode`, returning the same quality, but
/// keeping the bytes of the probe at that quality instead of asking the caller to encode again.
/// With parallelism 2, probes are made two at a time on two threads (the bisection's next
/// midpoint and a guess at the one after it); the result is still exactly bestQuality's.
/// `encode` must then be safe to call from two threads at once, and deterministic.
/// Absent when the probe at the returned quality produced nothing.
std::optional<Found> bestEncoding(std::int64_t target, double minQuality, double maxQuality,
                                  std::int64_t steps, const Encode& encode, int parallelism = 1);

} // namespace QualitySearch
