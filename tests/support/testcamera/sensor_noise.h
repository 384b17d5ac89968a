// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A webcam sensor's noise over a still scene: every byte of a frame gets its own draw of Gaussian noise
// of a chosen sigma, rounded to a whole level and clamped to 0..255. The draws come from a generator
// seeded by the frame's index alone, so a test sees the same frames on every run and different noise in
// each frame.

#include <cstddef>
#include <cstdint>

namespace flipbook::testcamera {

// out[i] := clamp(clean[i] + round(sigma * z), 0, 255) for count bytes, z a standard normal draw per byte.
void AddSensorNoise(const std::uint8_t* clean, std::uint8_t* out, std::size_t count, double sigma,
                    std::uint64_t frameIndex);

}  // namespace flipbook::testcamera
