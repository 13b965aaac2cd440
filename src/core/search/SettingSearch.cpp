// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/SettingSearch.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <optional>

namespace search {

namespace {

bool Acceptable(Goal goal, double value, double target)
{
    return goal == Goal::AtLeast ? value >= target : value <= target;
}

double Scaled(const SearchSpace& space, double value)
{
    if (space.logOfRest) return -std::log(std::max(1 - value, 1e-9));
    return space.logarithmic ? std::log(std::max(value, 1e-9)) : value;
}

// The setting where the line through two probes meets the target; NaN when they measured the
// same.
double Secant(const SearchSpace& space, const Probe& a, const Probe& b, double target)
{
    const double fa = Scaled(space, a.measured.value);
    const double fb = Scaled(space, b.measured.value);
    if (fa == fb) return std::nan("");
    return a.setting + (Scaled(space, target) - fa) * (b.setting - a.setting) / (fb - fa);
}

}  // namespace

SearchResult Search(const SearchSpace& space, Goal goal, double target, const Measure& measure,
                    std::stop_token stop, const std::function<void(double)>& progress)
{
    SearchResult result;
    const int low = std::min(space.low, space.high);
    const int high = std::max(space.low, space.high);
    // The acceptable settings lie at one end of the range: the high end when the measure
    // grows toward the acceptable side.
    const bool okAtHigh = (goal == Goal::AtLeast) == space.rising;
    // The probes nearest the boundary on either side of it.
    std::optional<Probe> ok;
    std::optional<Probe> bad;
    std::optional<bool> previousSide;
    bool sameSideTwice = false;
    int guess = std::clamp(space.start, low, high);
    // The first slope aims inside the band that ends the search, rather than on its edge.
    const double aim =
        goal == Goal::AtLeast ? target + space.tolerance / 2 : target - space.tolerance / 2;

    bool budgetSpent = false;
    while (static_cast<int>(result.probes.size()) < std::max(space.maxProbes, 1)) {
        if (stop.stop_requested()) {
            result.status = SearchStatus::Stopped;
            break;
        }
        if (result.probes.size() >= 2 && space.mayProbe && !space.mayProbe()) {
            budgetSpent = true;
            break;
        }
        Probe probe{guess, measure(guess)};
        if (!probe.measured.error.isEmpty()) {
            result.status = stop.stop_requested() ? SearchStatus::Stopped : SearchStatus::Failed;
            result.error = probe.measured.error;
            break;
        }
        result.probes.push_back(probe);
        if (progress)
            progress(SearchFraction(static_cast<int>(result.probes.size()), space.maxProbes));

        const bool good = Acceptable(goal, probe.measured.value, target);
        std::optional<Probe>& side = good ? ok : bad;
        // Toward the boundary: for the acceptable side away from its end of the range.
        const bool nearer =
            !side || ((good == okAtHigh) ? guess < side->setting : guess > side->setting);
        if (nearer) side = probe;
        sameSideTwice = previousSide && *previousSide == good;
        previousSide = good;
        if (good && std::abs(probe.measured.value - target) <= space.tolerance) break;

        // The settings still open, inclusive: strictly between the two sides' probes, or up to
        // the range's end on a side without one.
        const int from = okAtHigh ? (bad ? bad->setting + 1 : low) : (ok ? ok->setting + 1 : low);
        const int to = okAtHigh ? (ok ? ok->setting - 1 : high) : (bad ? bad->setting - 1 : high);
        if (from > to) break;

        double next = std::nan("");
        if (ok && bad && !sameSideTwice) {
            next = Secant(space, *ok, *bad, target);
        } else if (!(ok && bad) && result.probes.size() >= 2) {
            next = Secant(space, result.probes[result.probes.size() - 2], result.probes.back(),
                          target);
        } else if (!(ok && bad)) {
            // One probe: along the usual slope to the target, or a step, toward the boundary
            // and at least one setting.
            const bool down = good == okAtHigh;
            if (space.firstSlope > 0) {
                const double slope = space.rising ? space.firstSlope : -space.firstSlope;
                next = guess + (Scaled(space, aim) - Scaled(space, probe.measured.value)) / slope;
                next = down ? std::min(next, guess - 1.0) : std::max(next, guess + 1.0);
            } else {
                const int step = std::max(space.firstStep, 1);
                next = down ? guess - step : guess + step;
            }
        }
        // Bisection when the line says nothing or the last two probes fell on one side (the
        // line then creeps toward the boundary from that side).
        if (!std::isfinite(next)) next = 0.5 * (from + to);
        guess = std::clamp(static_cast<int>(std::lround(next)), from, to);
    }

    if (result.status != SearchStatus::Stopped && result.error.isEmpty())
        result.status = ok ? SearchStatus::Reached : SearchStatus::Unreachable;
    const std::optional<Probe>& chosen = ok ? ok : bad;
    if (chosen) {
        result.setting = chosen->setting;
        result.value = chosen->measured.value;
        result.bytes = chosen->measured.bytes;
    }
    const size_t count = result.probes.size();
    if (result.status == SearchStatus::Unreachable && space.estimateBeyondProbes && bad &&
        count >= 2 && (budgetSpent || static_cast<int>(count) >= space.maxProbes)) {
        const double line =
            Secant(space, result.probes[count - 2], result.probes[count - 1], target);
        // Only beyond the nearest probe, toward the acceptable end, and inside the range: a
        // line that leaves the range says the target lies beyond it, which stays unreachable
        // rather than a look claimed at the range's end.
        const int from = okAtHigh ? bad->setting + 1 : low;
        const int to = okAtHigh ? high : bad->setting - 1;
        const int margin = std::max(space.estimateMargin, 1);
        const double safer = okAtHigh ? std::ceil(line) + margin : std::floor(line) - margin;
        if (std::isfinite(line) && from <= to && safer >= from && safer <= to) {
            result.setting = static_cast<int>(safer);
            result.value = target;
            result.bytes = 0;
            result.status = SearchStatus::Estimated;
        }
    }
    return result;
}

double SearchFraction(int probesDone, int maxProbes)
{
    const int count = std::max(maxProbes, 1);
    return double(std::clamp(probesDone, 0, count)) / (count + 1);
}

double FinalEncodeFraction(int maxProbes, double encodeFraction)
{
    const int count = std::max(maxProbes, 1);
    return (count + std::clamp(encodeFraction, 0.0, 1.0)) / (count + 1);
}

double StrengthSsim(int compressType)
{
    constexpr double kLevels[] = {0.905, 0.855, 0.81};
    return kLevels[compressType >= 0 && compressType <= 2 ? compressType : 0];
}

}  // namespace search
