// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/mediagraph/capture_mode.h"

#include <algorithm>
#include <cmath>

namespace flipbook {

namespace {

// Cameras announce the same nominal rate as 30/1 or 30000/1001; a tenth of a percent tells them
// apart from any rate a user could see the difference of.
constexpr double kSameRateTolerance = 0.001;

// -1, 0 or 1 as a is slower than, as fast as, or faster than b.
int CompareRates(double a, double b) {
    if (std::abs(a - b) <= kSameRateTolerance * std::max(a, b)) return 0;
    return a < b ? -1 : 1;
}

bool IsLive(const CaptureMode& mode) {
    return CompareRates(mode.FramesPerSecond(), kLiveFramesPerSecond) >= 0;
}

// Live first, then size, then rate, then raw: one ordering settles both the live case and the
// fallback, since without a live mode the largest size comes first anyway.
bool Better(const CaptureMode& a, const CaptureMode& b) {
    if (IsLive(a) != IsLive(b)) return IsLive(a);
    if (a.Area() != b.Area()) return a.Area() > b.Area();
    if (const int rate = CompareRates(a.FramesPerSecond(), b.FramesPerSecond()); rate != 0) return rate > 0;
    return !a.compressed && b.compressed;
}

}  // namespace

std::optional<std::size_t> ChooseCaptureMode(const std::vector<CaptureMode>& modes) {
    std::optional<std::size_t> best;
    for (std::size_t index = 0; index < modes.size(); ++index)
        if (!best || Better(modes[index], modes[*best])) best = index;
    return best;
}

}  // namespace flipbook
