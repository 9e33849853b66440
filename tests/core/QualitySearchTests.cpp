// SPDX-License-Identifier: GPL-3.0-or-later
#include "Engine/QualitySearch.h"
#include "Engine/SizeTarget.h"

#include <atomic>
#include <chrono>
#include <cmath>
#include <gtest/gtest.h>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t kMax = QualitySearch::kNoEncoding;

TEST(SizeTarget, BudgetsInBinaryMegabytesWithCustomFloor) {
    EXPECT_EQ(SizeTarget::email().bytes(), 10485760);
    EXPECT_EQ(SizeTarget::web().bytes(), 1048576);
    EXPECT_EQ(SizeTarget::custom(2097152).bytes(), 2097152);
    for (std::int64_t payload : {std::int64_t{0}, std::int64_t{-5}, std::int64_t{500},
                                 std::int64_t{1024}, std::numeric_limits<std::int64_t>::min()})
        EXPECT_EQ(SizeTarget::custom(payload).bytes(), 1024) << payload;
    EXPECT_EQ(SizeTarget::custom(1025).bytes(), 1025);
}

/// Records every quality probed and answers from a rule.
struct CountingProbe {
    explicit CountingProbe(std::function<std::int64_t(double)> r) : rule(std::move(r)) {}
    std::function<std::int64_t(double)> rule;
    std::vector<double> probed;
    std::int64_t operator()(double quality) {
        probed.push_back(quality);
        return rule(quality);
    }
};

double search(CountingProbe& probe, std::int64_t target, std::int64_t steps) {
    return QualitySearch::bestQuality(target, 0.05, 1.0, steps,
                                      [&probe](double q) { return probe(q); });
}

TEST(QualitySearch, EveryProbeFittingReachesTheTopAfterAllSteps) {
    struct Case {
        std::int64_t steps;
        double expected;
    };
    for (const Case c : {Case{8, 0.9962890625}, Case{6, 0.98515625}}) {
        CountingProbe small([](double) { return 10; });
        EXPECT_EQ(search(small, 1000, c.steps), c.expected);
        EXPECT_EQ(small.probed.size(), static_cast<std::size_t>(c.steps + 1));
        // A size exactly at the target fits, so it behaves the same.
        CountingProbe exact([](double) { return 1000; });
        EXPECT_EQ(search(exact, 1000, c.steps), c.expected);
        EXPECT_EQ(exact.probed, small.probed);
    }
}

TEST(QualitySearch, TooLargeAtMinimumReturnsAfterOneProbe) {
    for (std::int64_t size : {std::int64_t{1001}, kMax}) {
        CountingProbe probe([size](double) { return size; });
        EXPECT_EQ(search(probe, 1000, 8), 0.05);
        EXPECT_EQ(probe.probed, std::vector<double>{0.05});
    }
}

TEST(QualitySearch, FittingOnlyAtMinimumHalvesTowardsIt) {
    CountingProbe probe([](double q) { return q == 0.05 ? 10 : 2000; });
    EXPECT_EQ(search(probe, 1000, 8), 0.05);
    const std::vector<double> expected{0.05,      0.525,      0.2875,      0.16875,     0.109375,
                                       0.0796875, 0.06484375, 0.057421875, 0.0537109375};
    ASSERT_EQ(probe.probed.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_DOUBLE_EQ(probe.probed[i], expected[i]) << i;
}

TEST(QualitySearch, ReturnsTheLastFittingMidpointOfAThreshold) {
    CountingProbe probe([](double q) { return q <= 0.7 ? 500 : 5000; });
    const double found = search(probe, 1000, 8);
    EXPECT_LE(found, 0.7);
    EXPECT_GT(found, 0.7 - 0.95 / 256);
}

/// A deterministic encoder stand-in: bytes whose length follows a size rule.
QualitySearch::Encode encoderFor(std::function<std::int64_t(double)> rule,
                                 std::atomic<int>* calls = nullptr) {
    return [rule, calls](double q) -> std::optional<Bytes> {
        if (calls)
            ++*calls;
        const std::int64_t size = rule(q);
        if (size == kMax)
            return std::nullopt;
        return Bytes(static_cast<std::size_t>(size), static_cast<std::uint8_t>(q * 255));
    };
}

TEST(QualitySearch, BestEncodingMatchesBestQualityWhateverTheScheduling) {
    std::mt19937 random(7);
    std::vector<std::function<std::int64_t(double)>> rules{
        [](double q) { return static_cast<std::int64_t>(1000 * std::exp(4 * q)); },
        [](double q) { return static_cast<std::int64_t>(100 + 5000 * q * q * q); },
        [](double) { return 10; },
        [](double) { return kMax; },
        [](double q) { return q < 0.3 ? 100 : kMax; }, // the encoder fails above 0.3
        // Not monotone: small blips, as real encoders have.
        [](double q) { return static_cast<std::int64_t>(2000 * q) + (int(q * 977) % 7) * 3; },
    };
    std::uniform_int_distribution<std::int64_t> targets(50, 60000);
    for (std::size_t r = 0; r < rules.size(); ++r) {
        for (int trial = 0; trial < 40; ++trial) {
            const std::int64_t target = targets(random);
            for (std::int64_t steps : {1, 2, 6, 8}) {
                const double expected =
                    QualitySearch::bestQuality(target, 0.05, 1.0, steps, rules[r]);
                for (int parallelism : {1, 2}) {
                    auto found = QualitySearch::bestEncoding(target, 0.05, 1.0, steps,
                                                             encoderFor(rules[r]), parallelism);
                    const std::int64_t sizeThere = rules[r](expected);
                    if (sizeThere == kMax) {
                        EXPECT_FALSE(found) << "rule " << r;
                        continue;
                    }
                    ASSERT_TRUE(found) << "rule " << r;
                    EXPECT_EQ(found->quality, expected) << "rule " << r << " target " << target;
                    EXPECT_EQ(static_cast<std::int64_t>(found->bytes.size()), sizeThere);
                }
            }
        }
    }
}

TEST(QualitySearch, BestEncodingKeepsTheProbeInsteadOfEncodingAgain) {
    std::atomic<int> calls{0};
    auto found = QualitySearch::bestEncoding(1000, 0.05, 1.0, 8,
                                             encoderFor([](double) { return 10; }, &calls), 1);
    ASSERT_TRUE(found);
    EXPECT_EQ(calls.load(), 9);
    EXPECT_EQ(found->encodings, 9);

    calls = 0;
    found = QualitySearch::bestEncoding(1000, 0.05, 1.0, 8,
                                        encoderFor([](double) { return 5000; }, &calls), 1);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->quality, 0.05);
    EXPECT_EQ(found->bytes.size(), 5000u);
    EXPECT_EQ(calls.load(), 1);
}

TEST(QualitySearch, SpeculativeSearchRunsTwoProbesAtOnceAndSavesRounds) {
    std::mutex lock;
    int running = 0, mostAtOnce = 0;
    auto rule = [](double q) { return static_cast<std::int64_t>(1000 * std::exp(4 * q)); };
    QualitySearch::Encode encode = [&](double q) -> std::optional<Bytes> {
        {
            std::lock_guard guard(lock);
            mostAtOnce = std::max(mostAtOnce, ++running);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::lock_guard guard(lock);
        --running;
        return Bytes(static_cast<std::size_t>(rule(q)));
    };
    auto found = QualitySearch::bestEncoding(20000, 0.05, 1.0, 8, encode, 2);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->quality, QualitySearch::bestQuality(20000, 0.05, 1.0, 8, rule));
    EXPECT_EQ(mostAtOnce, 2);
    // A smooth size curve lets the model guess right, so few probes are wasted.
    EXPECT_LE(found->encodings, 12);
}

} // namespace
