// SPDX-License-Identifier: GPL-3.0-or-later
// The shared search on measures given as formulas, where the right answer is known by trying
// every setting: the search must land on the boundary, within its probe budget, from any start.

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <stop_token>

#include "core/search/SettingSearch.h"

using namespace search;

namespace {

struct Curve {
    const char* name;
    std::function<double(int)> f;
    bool rising;
    bool logarithmic;
    Goal goal;
    int low, high;
};

void PrintTo(const Curve& c, std::ostream* out)
{
    *out << c.name;
}

// The acceptable setting nearest the target, by trying them all.
std::optional<int> BruteForce(const Curve& c, double target)
{
    std::optional<int> best;
    for (int s = c.low; s <= c.high; ++s) {
        const double v = c.f(s);
        const bool ok = c.goal == Goal::AtLeast ? v >= target : v <= target;
        if (!ok) continue;
        if (!best || std::abs(v - target) < std::abs(c.f(*best) - target)) best = s;
    }
    return best;
}

class SearchCurveTest : public ::testing::TestWithParam<Curve> {};

}  // namespace

TEST_P(SearchCurveTest, FindsTheBoundaryFromAnyStartWithinTheBudget)
{
    const Curve& c = GetParam();
    for (int start : {c.low, (c.low + c.high) / 3, (c.low + c.high) / 2, c.high}) {
        for (double share : {0.1, 0.35, 0.6, 0.9}) {
            const double target = c.f(c.low) + share * (c.f(c.high) - c.f(c.low));
            SearchSpace space{c.low, c.high, start, 5, c.rising, c.logarithmic, 10, 0};
            std::set<int> tried;
            const SearchResult result = Search(space, c.goal, target, [&](int s) {
                EXPECT_TRUE(tried.insert(s).second) << "setting " << s << " tried twice";
                EXPECT_GE(s, c.low);
                EXPECT_LE(s, c.high);
                return Measurement{c.f(s), 0, {}};
            });
            const auto expected = BruteForce(c, target);
            ASSERT_TRUE(expected);
            EXPECT_EQ(result.status, SearchStatus::Reached);
            EXPECT_EQ(result.setting, *expected) << "start " << start << " target " << target;
            EXPECT_DOUBLE_EQ(result.value, c.f(result.setting));
            EXPECT_LE(result.probes.size(), 10u);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Curves, SearchCurveTest,
                         ::testing::Values(
                             // SSIM against CRF: falling, bent.
                             Curve{"SsimOverCrf", [](int s) { return 0.999 - 0.00025 * s * s; },
                                   false, false, Goal::AtLeast, 10, 51},
                             // Bytes against JPEG quality: rising, about exponential.
                             Curve{"BytesOverQuality",
                                   [](int q) { return 2000 * std::exp(0.035 * q); }, true, true,
                                   Goal::AtMost, 40, 95},
                             // SSIM against quality: rising, flattening.
                             Curve{"SsimOverQuality", [](int q) { return 1 - 0.5 / (1 + 0.1 * q); },
                                   true, false, Goal::AtLeast, 5, 98},
                             // Bytes against CRF: falling.
                             Curve{"BytesOverCrf", [](int s) { return 1e6 * std::exp(-0.11 * s); },
                                   false, true, Goal::AtMost, 10, 45}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SettingSearchTest, EndsOfTheRange)
{
    const auto falling = [](int s) { return Measurement{1.0 - 0.01 * s, 0, {}}; };
    SearchSpace space{10, 45, 23, 3, false, false, 6, 0};
    // Every setting reaches the target: the cheapest end.
    SearchResult all = Search(space, Goal::AtLeast, 0.1, falling);
    EXPECT_EQ(all.status, SearchStatus::Reached);
    EXPECT_EQ(all.setting, 45);
    // None does: the probe nearest to it, the best end, reported as such.
    SearchResult none = Search(space, Goal::AtLeast, 0.99, falling);
    EXPECT_EQ(none.status, SearchStatus::Unreachable);
    EXPECT_EQ(none.setting, 10);
    EXPECT_DOUBLE_EQ(none.value, 0.9);
}

TEST(SettingSearchTest, ToleranceEndsEarlyOnAnAcceptableProbe)
{
    int probes = 0;
    SearchSpace space{10, 45, 23, 3, false, false, 6, 0.02};
    const SearchResult result = Search(space, Goal::AtLeast, 0.76, [&](int s) {
        ++probes;
        return Measurement{1.0 - 0.01 * s, 0, {}};
    });
    // 23 measures 0.77: acceptable and within 0.02 of the target.
    EXPECT_EQ(probes, 1);
    EXPECT_EQ(result.setting, 23);
    EXPECT_EQ(result.status, SearchStatus::Reached);
}

// An SSIM whose distance from 1 grows exponentially with the CRF, in quarter steps: along the
// usual slope the second probe lands in the band that ends the search, from near the answer or
// far above it, where a fixed first step takes more probes to get there.
TEST(SettingSearchTest, AFirstSlopeAimsTheSecondProbeAtTheTarget)
{
    const auto ssim = [](int quarters) { return 1 - 0.002 * std::exp(0.12 * quarters / 4.0); };
    const double target = 0.905;  // CRF 31.54
    for (const int start : {30 * 4, 23 * 4}) {
        SearchSpace space{40, 180, start, 12, false, false, 6, 0.002};
        space.logOfRest = true;
        space.firstSlope = 0.12 / 4;
        const SearchResult aimed = Search(space, Goal::AtLeast, target, [&](int s) {
            return Measurement{ssim(s), 0, {}};
        });
        EXPECT_EQ(aimed.status, SearchStatus::Reached);
        EXPECT_EQ(aimed.probes.size(), 2u) << "from CRF " << start / 4;
        EXPECT_GE(aimed.value, target);
        EXPECT_LE(aimed.value, target + 0.002);

        space.firstSlope = 0;
        const SearchResult stepped = Search(space, Goal::AtLeast, target, [&](int s) {
            return Measurement{ssim(s), 0, {}};
        });
        EXPECT_GT(stepped.probes.size(), 2u) << "from CRF " << start / 4;
    }
}

TEST(SettingSearchTest, StopFailureAndProgress)
{
    SearchSpace space{0, 100, 50, 10, true, false, 6, 0};
    // A stop requested during the second probe ends the search before a third.
    std::stop_source source;
    int probes = 0;
    const SearchResult stopped = Search(
        space, Goal::AtLeast, 0.95,
        [&](int s) {
            if (++probes == 2) source.request_stop();
            return Measurement{s / 100.0, 0, {}};
        },
        source.get_token());
    EXPECT_EQ(stopped.status, SearchStatus::Stopped);
    EXPECT_EQ(probes, 2);

    // A probe that cannot be measured fails the search with its reason.
    const SearchResult failed = Search(space, Goal::AtLeast, 0.95, [](int s) {
        return s == 50 ? Measurement{0, 0, "encoder crashed"} : Measurement{s / 100.0, 0, {}};
    });
    EXPECT_EQ(failed.status, SearchStatus::Failed);
    EXPECT_EQ(failed.error, "encoder crashed");

    // Progress rises with each probe, stays below the final encode's share, and the final
    // encode takes the bar to 1.
    std::vector<double> fractions;
    Search(
        space, Goal::AtLeast, 0.955,
        [](int s) {
            return Measurement{s / 100.0, 0, {}};
        },
        {}, [&](double f) { fractions.push_back(f); });
    ASSERT_FALSE(fractions.empty());
    for (size_t i = 1; i < fractions.size(); ++i) EXPECT_GT(fractions[i], fractions[i - 1]);
    EXPECT_LE(fractions.back(), SearchFraction(6, 6));
    EXPECT_LT(SearchFraction(6, 6), 1.0);
    EXPECT_DOUBLE_EQ(FinalEncodeFraction(6, 0), SearchFraction(6, 6));
    EXPECT_DOUBLE_EQ(FinalEncodeFraction(6, 1), 1.0);
}

// A budget that ends before the look is reached: with estimateBeyondProbes the line through
// the last two probes gives the setting, one step safer, never one already found short.
TEST(SearchEstimateTest, TheLastTwoProbesLineGivesTheSettingWhenTheBudgetEnds)
{
    // SSIM falling by 0.01 a CRF step from 0.97 at 10: 0.905 is reached at CRF 16.5.
    const auto ssim = [](int crf) { return 0.97 - 0.01 * (crf - 10); };
    SearchSpace space;
    space.low = 10;
    space.high = 45;
    space.start = 30;
    space.firstStep = 3;
    space.rising = false;
    space.maxProbes = 2;
    const Measure measure = [&](int crf) { return Measurement{ssim(crf), 100, {}}; };
    const SearchResult plain = Search(space, Goal::AtLeast, 0.905, measure);
    EXPECT_EQ(plain.status, SearchStatus::Unreachable);
    EXPECT_EQ(plain.setting, 27);  // the nearest probe, far from the look

    space.estimateBeyondProbes = true;
    const SearchResult estimated = Search(space, Goal::AtLeast, 0.905, measure);
    EXPECT_EQ(estimated.status, SearchStatus::Estimated);
    EXPECT_EQ(estimated.setting, 15);  // 16.5 rounded toward the look, one step further
    EXPECT_GE(ssim(estimated.setting), 0.905);
    EXPECT_EQ(estimated.probes.size(), 2u);

    // A budget that reached the look keeps the measured answer.
    space.maxProbes = 8;
    EXPECT_EQ(Search(space, Goal::AtLeast, 0.905, measure).status, SearchStatus::Reached);

    // The same CRFs in quarter steps, aiming at 0.906 (CRF 16.4): the margin stays one whole
    // CRF (four settings) on the finer grid, 16.25 less one, 15.25.
    SearchSpace quarters = space;
    quarters.low = 40;
    quarters.high = 180;
    quarters.start = 120;
    quarters.firstStep = 12;
    quarters.maxProbes = 2;
    quarters.estimateMargin = 4;
    const Measure quarterMeasure = [&](int setting) {
        return Measurement{0.97 - 0.0025 * (setting - 40), 100, {}};
    };
    const SearchResult fine = Search(quarters, Goal::AtLeast, 0.906, quarterMeasure);
    EXPECT_EQ(fine.status, SearchStatus::Estimated);
    EXPECT_EQ(fine.setting, 61);
}
