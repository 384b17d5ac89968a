// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace flipbook {

// One way a camera can deliver pictures: a raw format (in GStreamer's spelling, "YUY2") or a
// compressed one ("image/jpeg"), a size and a frame rate.
struct CaptureMode {
    std::string format;
    bool compressed = false;
    int width = 0;
    int height = 0;
    int rateNumerator = 0;
    int rateDenominator = 1;

    double FramesPerSecond() const {
        return rateDenominator > 0 ? static_cast<double>(rateNumerator) / rateDenominator : 0.0;
    }
    long long Area() const { return static_cast<long long>(width) * height; }
};

// The smoothest rate a user still takes for live video.
inline constexpr double kLiveFramesPerSecond = 25.0;

// The mode a user expects of a camera: the largest picture it gives at kLiveFramesPerSecond or more;
// where no mode is that fast, the highest rate at the largest size. At equal size the higher rate
// wins, and at equal size and rate raw beats compressed (no decoding); rates within 0.1 % are equal
// (30000/1001 is 30). Among equals the first offered wins. Empty for no modes.
std::optional<std::size_t> ChooseCaptureMode(const std::vector<CaptureMode>& modes);

}  // namespace flipbook
