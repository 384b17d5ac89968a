// SPDX-License-Identifier: GPL-3.0-or-later
// The portable row kernels of the full-screen view, the taps they resample with, and the choice of
// kernels for this processor.

#include "effects/view_rows.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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
