// SPDX-License-Identifier: GPL-3.0-or-later
#include "sensor_noise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace flipbook::testcamera {

namespace {

// Drawing a normal value per byte would cost more than a frame interval at 1080p; a draw is instead a
// 16-bit index into the 65,536 quantiles of the normal distribution at (i + 0.5) / 65536, already
// multiplied by sigma and rounded.
constexpr std::size_t kQuantiles = 65536;

// The standard normal quantiles, found once by bisection of the distribution function.
const std::vector<double>& UnitQuantiles() {
    static const std::vector<double> quantiles = [] {
        std::vector<double> values(kQuantiles);
        for (std::size_t i = 0; i < kQuantiles; ++i) {
            const double probability = (static_cast<double>(i) + 0.5) / kQuantiles;
            double low = -8;
            double high = 8;
            for (int step = 0; step < 48; ++step) {
                const double middle = (low + high) / 2;
                (0.5 * std::erfc(-middle / std::sqrt(2.0)) < probability ? low : high) = middle;
            }
            values[i] = (low + high) / 2;
        }
        return values;
    }();
    return quantiles;
}

// The rounded offsets of one sigma, made once and kept for the process.
const std::vector<int>& OffsetsFor(double sigma) {
    static std::mutex mutex;
    static std::map<double, std::unique_ptr<std::vector<int>>> tables;
    const std::lock_guard lock(mutex);
    auto& table = tables[sigma];
    if (!table) {
        table = std::make_unique<std::vector<int>>(kQuantiles);
        const std::vector<double>& unit = UnitQuantiles();
        for (std::size_t i = 0; i < kQuantiles; ++i)
            (*table)[i] = static_cast<int>(std::lround(sigma * unit[i]));
    }
    return *table;
}

// SplitMix64: a good stream of 64-bit values from any seed, the frame's index among them.
struct SplitMix {
    std::uint64_t state;
    std::uint64_t Next() {
        std::uint64_t z = (state += 0x9E3779B97F4A7C15u);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9u;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBu;
        return z ^ (z >> 31);
    }
};

}  // namespace

void AddSensorNoise(const std::uint8_t* clean, std::uint8_t* out, std::size_t count, double sigma,
                    std::uint64_t frameIndex) {
    const std::vector<int>& offsets = OffsetsFor(sigma);
    SplitMix random{frameIndex * 0xD1B54A32D192ED03u + 0x8CB92BA72F3D8DD7u};
    std::uint64_t draws = 0;
    for (std::size_t i = 0; i < count; ++i) {
        // Four 16-bit draws from each 64-bit value.
        if (i % 4 == 0) draws = random.Next();
        const int offset = offsets[draws & 0xFFFF];
        draws >>= 16;
        out[i] = static_cast<std::uint8_t>(std::clamp(clean[i] + offset, 0, 255));
    }
}

}  // namespace flipbook::testcamera
