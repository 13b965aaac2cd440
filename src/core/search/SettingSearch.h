// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>
#include <stop_token>
#include <vector>

// One search over one integer encoder setting (a constant quality, a JPEG quality, a scale),
// shared by the video and the image searches. A measure encodes at a setting and returns a
// figure that is monotone in the setting (SSIM falls as the CRF rises; bytes grow with the
// quality); the goal says which side of a target is acceptable, and the search returns the
// acceptable setting nearest the target: the cheapest one that still reaches a look, or the
// best one that still fits under a size.
namespace search {

// What one probe of a setting found.
struct Measurement {
    double value = 0;
    qint64 bytes = 0;  // what the probe wrote, when it writes anything (for reports)
    QString error;     // empty: measured
};
using Measure = std::function<Measurement(int setting)>;

enum class Goal {
    AtLeast,  // the measure must reach the target (a look): the setting just reaching it
    AtMost,   // the measure must stay at or under the target (a size): the one just under
};

struct SearchSpace {
    int low = 0;         // the settings tried, inclusive
    int high = 0;        // inclusive
    int start = 0;       // the first guess
    int firstStep = 4;   // the second guess's distance from the first, before any slope is known
    bool rising = true;  // the measure grows with the setting
    // Interpolate on the logarithm of the measure: sizes, which grow about exponentially.
    bool logarithmic = false;
    int maxProbes = 6;
    // An acceptable probe this close to the target ends the search early.
    double tolerance = 0;
    // When maxProbes run out before any probe was acceptable: the setting where the line
    // through the last two probes meets the target, estimateMargin settings further toward the
    // acceptable side, unmeasured (Estimated), in place of the nearest probe.
    bool estimateBeyondProbes = false;
    int estimateMargin = 1;
    // Asked before each probe after the second, when set: false ends the search as if
    // maxProbes had run out (a budget of time the probes have used up).
    std::function<bool()> mayProbe = nullptr;
    // Interpolate on -log(1 - measure): an SSIM, whose distance from 1 shrinks about
    // exponentially as the quality rises.
    bool logOfRest = false;
    // The usual change of the measure (as interpolated) per setting, unsigned: when set, the
    // second guess is aimed along it from the first probe at the middle of the tolerance band,
    // in place of lying firstStep away.
    double firstSlope = 0;
};

enum class SearchStatus {
    Reached,  // setting is acceptable
    // No probe was acceptable (the range's best end among them, or the budget ran out first):
    // setting is the probe nearest to acceptable.
    Unreachable,
    // No probe was acceptable within maxProbes; setting is estimated from the last two
    // (see estimateBeyondProbes), value is the target.
    Estimated,
    Stopped,  // the stop token was set
    Failed,   // a probe could not be measured (error says why)
};

struct Probe {
    int setting = 0;
    Measurement measured;
};

struct SearchResult {
    SearchStatus status = SearchStatus::Failed;
    int setting = 0;
    double value = 0;
    qint64 bytes = 0;
    QString error;
    std::vector<Probe> probes;  // in the order tried
};

// Probes at most space.maxProbes settings. stop is checked before each probe (the measure is
// expected to check it during its own work); progress, when set, gets SearchFraction after each.
SearchResult Search(const SearchSpace& space, Goal goal, double target, const Measure& measure,
                    std::stop_token stop = {},
                    const std::function<void(double)>& progress = nullptr);

// Progress of a task that searches and then encodes once: the probes share the first
// maxProbes / (maxProbes + 1) of the bar, the final encode the rest.
double SearchFraction(int probesDone, int maxProbes);
double FinalEncodeFraction(int maxProbes, double encodeFraction);

// The luma SSIM a strength (0 general, 1 deep, 2 limit; others general) aims at: the look of
// x264 medium at CRF 23, 27 and 31 on camera footage, which the encoder plans' levels match.
double StrengthSsim(int compressType);

}  // namespace search
