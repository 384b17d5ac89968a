// SPDX-License-Identifier: GPL-3.0-or-later
// The portable row kernels of the full-screen view, the taps they resample with, and the choice of
// kernels for this processor.

#include "effects/view_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

namespace flipbook::effects_detail {
namespace {

std::uint8_t Lerp(std::uint8_t a, std::uint8_t b, int w) {
    return static_cast<std::uint8_t>((a * (256 - w) + b * w + 128) >> 8);
}

void Mix(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count, int k) {
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>((a[i] * (100 - k) + b[i] * k + 50) / 100);
}

void Difference(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        out[i] = static_cast<std::uint8_t>(std::min(255, 4 * std::abs(a[i] - b[i])));
}

void LerpRow(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count, int w) {
    for (std::size_t i = 0; i < count; ++i) out[i] = Lerp(a[i], b[i], w);
}

void Resample(const std::uint8_t* in, std::uint8_t* out, const AxisTaps& taps) {
    for (std::size_t x = 0; x < taps.first.size(); ++x) {
        const std::uint8_t* first = in + 3 * static_cast<std::size_t>(taps.first[x]);
        const std::uint8_t* second = in + 3 * static_cast<std::size_t>(taps.second[x]);
        for (int channel = 0; channel < 3; ++channel)
            *out++ = Lerp(first[channel], second[channel], taps.weight[x]);
    }
}

void Expand(const std::uint8_t* in, std::uint32_t* out, std::size_t pixels, bool mirrored) {
    for (std::size_t x = 0; x < pixels; ++x) {
        const std::uint8_t* pixel = in + 3 * x;
        const std::uint32_t value =
            0xFF000000u | std::uint32_t{pixel[2]} << 16 | std::uint32_t{pixel[1]} << 8 | pixel[0];
        out[mirrored ? pixels - 1 - x : x] = value;
    }
}

void Compose(const ComposeInput& input, std::uint32_t* out, std::size_t pixels, bool mirrored) {
    for (std::size_t x = 0; x < pixels; ++x) {
        std::uint32_t value = 0xFF000000u;
        for (std::size_t channel = 0; channel < 3; ++channel) {
            int shown = 0;
            if (input.lower != nullptr) {
                const std::size_t at = 6 * x + channel;
                shown = ((input.live[at] + input.lower[at] + 1) / 2 +
                         (input.live[at + 3] + input.lower[at + 3] + 1) / 2 + 1) /
                        2;
            } else if (input.next != nullptr) {
                shown = Lerp(input.live[3 * x + channel], input.next[3 * x + channel], input.nextWeight);
            } else {
                shown = input.live[3 * x + channel];
            }
            const int reference = input.combine == Combine::Copy ? 0 : input.reference[3 * x + channel];
            if (input.combine == Combine::Mix)
                shown = (shown * (100 - input.weight) + reference * input.weight + 50) / 100;
            else if (input.combine == Combine::Difference)
                shown = std::min(255, 4 * std::abs(shown - reference));
            value |= static_cast<std::uint32_t>(shown) << (8 * channel);
        }
        out[mirrored ? pixels - 1 - x : x] = value;
    }
}

void Lighten(std::uint32_t* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) pixels[i] = ((pixels[i] >> 1) & 0x7F7F7Fu) | 0xFF808080u;
}

void Darken(std::uint32_t* pixels, std::size_t count) {
    // Half of each byte rounded up: no byte's sum carries into the next.
    for (std::size_t i = 0; i < count; ++i)
        pixels[i] = (((pixels[i] >> 1) & 0x7F7F7Fu) + (pixels[i] & 0x010101u)) | 0xFF000000u;
}

constexpr ViewRowKernels kPortable{Mix, Difference, LerpRow, Resample, Expand, Compose, Lighten, Darken};

// Keeps of the windows' tables only a lead and one period (AxisTaps::windowPeriod), choosing the period
// and lead that cover the most steps with the smallest table; the steps past the repeating ones are
// left to the byte-by-byte tail.
void FoldWindows(AxisTaps& taps) {
    const std::size_t steps = taps.windowBytes / 32;
    const auto same = [&](std::size_t step, std::size_t earlier, std::int32_t shift) {
        for (std::size_t i = 0; i < 4; ++i)
            if (taps.windowStarts[4 * step + i] != taps.windowStarts[4 * earlier + i] + shift) return false;
        return std::equal(taps.windowPicks.begin() + static_cast<std::ptrdiff_t>(64 * step),
                          taps.windowPicks.begin() + static_cast<std::ptrdiff_t>(64 * step + 64),
                          taps.windowPicks.begin() + static_cast<std::ptrdiff_t>(64 * earlier)) &&
               std::equal(taps.windowWeights.begin() + static_cast<std::ptrdiff_t>(32 * step),
                          taps.windowWeights.begin() + static_cast<std::ptrdiff_t>(32 * step + 32),
                          taps.windowWeights.begin() + static_cast<std::ptrdiff_t>(32 * earlier));
    };
    std::size_t bestEnd = 0;
    std::size_t bestLead = 0;
    std::size_t bestPeriod = 0;
    std::int32_t bestShift = 0;
    for (std::size_t period = 1; period <= 64; ++period)
        for (std::size_t lead = 0; lead <= 2; ++lead) {
            if (lead + 2 * period > steps) continue;
            const std::int32_t shift = taps.windowStarts[4 * (lead + period)] - taps.windowStarts[4 * lead];
            std::size_t end = lead + period;
            while (end < steps && same(end, end - period, shift)) ++end;
            if (end > bestEnd) {
                bestEnd = end;
                bestLead = lead;
                bestPeriod = period;
                bestShift = shift;
            }
        }
    // Folding pays only when the steps repeat for most of the row.
    if (bestPeriod == 0 || bestEnd < steps / 2 + bestLead + bestPeriod) return;
    const std::size_t kept = bestLead + bestPeriod;
    taps.windowBytes = 32 * bestEnd;
    taps.windowLead = bestLead;
    taps.windowPeriod = bestPeriod;
    taps.windowShift = bestShift;
    taps.windowStarts.resize(4 * kept);
    taps.windowPicks.resize(64 * kept);
    taps.windowWeights.resize(32 * kept);
}

// The windows of an enlarging resample (AxisTaps::windowBytes), for as many leading 32-byte steps as
// have every byte's source bytes within 16-byte windows that lie in the source row.
void MakeWindows(AxisTaps& taps, int sourceLength) {
    const std::size_t outBytes = 3 * taps.first.size();
    const auto sourceBytes = static_cast<std::int64_t>(3) * sourceLength;
    // Each output byte's source bytes and weight, a weight of 256 taken as its second byte alone.
    const auto source = [&](std::size_t j) {
        const std::size_t x = j / 3;
        const std::int64_t channel = static_cast<std::int64_t>(j % 3);
        const std::int64_t first = 3 * std::int64_t{taps.first[x]} + channel;
        const std::int64_t second = 3 * std::int64_t{taps.second[x]} + channel;
        const int weight = taps.weight[x];
        return weight == 256 ? std::tuple{second, second, 0} : std::tuple{first, second, weight};
    };
    // Appends the step of output bytes from `done` on when its windows fit.
    const auto append = [&](std::size_t done) {
        std::int32_t starts[2][2];
        std::uint8_t picks[2][2][16];
        std::int16_t weights[32];
        bool fits = true;
        for (std::size_t half = 0; half < 2 && fits; ++half) {
            const std::size_t block = done + 16 * half;
            std::int64_t low[2] = {sourceBytes, sourceBytes};
            std::int64_t high[2] = {-1, -1};
            for (std::size_t j = block; j < block + 16; ++j) {
                const auto [first, second, weight] = source(j);
                low[0] = std::min(low[0], first);
                high[0] = std::max(high[0], first);
                if (weight == 0) continue;
                low[1] = std::min(low[1], second);
                high[1] = std::max(high[1], second);
            }
            for (std::size_t which = 0; which < 2; ++which) {
                if (high[which] < 0) low[which] = high[which] = 0;  // no byte needs this window
                const std::int64_t start = std::min(low[which], sourceBytes - 16);
                fits = fits && start >= 0 && high[which] - start < 16;
                starts[half][which] = static_cast<std::int32_t>(start);
            }
            for (std::size_t j = block; j < block + 16 && fits; ++j) {
                const auto [first, second, weight] = source(j);
                const std::size_t lane = j - block;
                picks[half][0][lane] = static_cast<std::uint8_t>(first - starts[half][0]);
                picks[half][1][lane] = weight == 0 ? 0 : static_cast<std::uint8_t>(second - starts[half][1]);
                weights[(lane < 8 ? 0 : 16) + 8 * half + lane % 8] = static_cast<std::int16_t>(weight << 7);
            }
        }
        if (!fits) return false;
        for (std::size_t half = 0; half < 2; ++half)
            for (std::size_t which = 0; which < 2; ++which) taps.windowStarts.push_back(starts[half][which]);
        for (std::size_t which = 0; which < 2; ++which)
            for (std::size_t half = 0; half < 2; ++half)
                taps.windowPicks.insert(taps.windowPicks.end(), picks[half][which], picks[half][which] + 16);
        taps.windowWeights.insert(taps.windowWeights.end(), weights, weights + 32);
        return true;
    };
    std::size_t done = 0;
    while (done + 32 <= outBytes && append(done)) done += 32;
    taps.windowBytes = done;
    FoldWindows(taps);
    if (taps.windowBytes > 0 && taps.windowBytes < outBytes && taps.windowBytes + 32 >= outBytes)
        taps.windowEnd = append(outBytes - 32);
}

}  // namespace

AxisTaps MakeAxisTaps(int sourceLength, int targetLength) {
    AxisTaps taps;
    const auto count = static_cast<std::size_t>(std::max(targetLength, 0));
    taps.first.resize(count);
    taps.second.resize(count);
    taps.weight.resize(count);
    taps.safeCount = static_cast<int>(count);
    taps.halving = sourceLength == 2 * targetLength;
    const double step = static_cast<double>(sourceLength) / targetLength;
    for (std::size_t position = 0; position < count; ++position) {
        const double at =
            std::clamp((static_cast<double>(position) + 0.5) * step - 0.5, 0.0, sourceLength - 1.0);
        const int first = static_cast<int>(at);
        const int second = std::min(first + 1, sourceLength - 1);
        taps.first[position] = first;
        taps.second[position] = second;
        taps.weight[position] = static_cast<std::uint16_t>(std::lround((at - first) * 256));
        if (second == sourceLength - 1 && taps.safeCount == static_cast<int>(count))
            taps.safeCount = static_cast<int>(position);
    }
    if (targetLength > sourceLength) MakeWindows(taps, sourceLength);
    return taps;
}

const ViewRowKernels& PortableViewRows() {
    return kPortable;
}

const ViewRowKernels& ViewRows() {
    switch (ActiveInstructionSet()) {
        case InstructionSet::Avx512:
        case InstructionSet::Avx2:
            return Avx2ViewRows();
        default:
            return kPortable;
    }
}

}  // namespace flipbook::effects_detail
