// SPDX-License-Identifier: GPL-3.0-or-later
#include <cmath>
#include <numbers>

#include "effects/zt_bmpfx.h"

namespace flipbook {

namespace {

// 1 on (-0.5, 0.5]: the edges are deliberately not symmetric, so neighbouring samples never both count.
float Box(float x) {
    return x > -0.5f && x <= 0.5f ? 1.0f : 0.0f;
}

float Triangle(float x) {
    const float t = std::fabs(x);
    return t < 1.0f ? 1.0f - t : 0.0f;
}

float Hermite(float x) {
    const float t = std::fabs(x);
    return t < 1.0f ? (2.0f * t - 3.0f) * t * t + 1.0f : 0.0f;
}

float Bell(float x) {
    const float t = std::fabs(x);
    if (t < 0.5f) return 0.75f - t * t;
    if (t < 1.5f) return 0.5f * (t - 1.5f) * (t - 1.5f);
    return 0.0f;
}

float BSpline(float x) {
    const float t = std::fabs(x);
    if (t < 1.0f) return 0.5f * t * t * t - t * t + 2.0f / 3.0f;
    if (t < 2.0f) return (2.0f - t) * (2.0f - t) * (2.0f - t) / 6.0f;
    return 0.0f;
}

float Sinc(float y) {
    if (y == 0.0f) return 1.0f;
    const float angle = std::numbers::pi_v<float> * y;
    return std::sin(angle) / angle;
}

float Lanczos3(float x) {
    const float t = std::fabs(x);
    return t < 3.0f ? Sinc(t) * Sinc(t / 3.0f) : 0.0f;
}

// The cubic with B = C = 1/3.
float Mitchell(float x) {
    const float t = std::fabs(x);
    if (t < 1.0f) return (7.0f * t * t * t - 12.0f * t * t + 16.0f / 3.0f) / 6.0f;
    if (t < 2.0f) return (-7.0f / 3.0f * t * t * t + 12.0f * t * t - 20.0f * t + 32.0f / 3.0f) / 6.0f;
    return 0.0f;
}

constexpr std::array<ReconstructionFilter, 7> kFilters{{
    {"Box", Box, 0.5f},
    {"Triangle", Triangle, 1.0f},
    {"Hermite", Hermite, 1.0f},
    {"Bell", Bell, 1.5f},
    {"B-Spline", BSpline, 2.0f},
    {"Lanczos3", Lanczos3, 3.0f},
    {"Mitchell", Mitchell, 2.0f},
}};

}  // namespace

const std::array<ReconstructionFilter, 7>& ReconstructionFilters() {
    return kFilters;
}

}  // namespace flipbook
