// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The onion skin of several pictures: the reference and up to four pictures before it, laid over the
// live picture in one pass that reads each of them once and writes the screen's pixels.
//
// The weights are whole 1600ths. At slider position k (0..100) the reference weighs 16 k, as the single
// onion skin's k / 100 does, and each older picture half of the one after it (8 k, 4 k, 2 k, k), while
// the weights of the pictures still leave something of the 1600: an older picture takes at most what the
// newer ones left over, so the reference keeps its k / 100 at every position and the live picture gives
// way first. The live picture weighs what is left. Each byte shown is then
//     floor((live * w_live + sum over the pictures of picture_j * w_j + 800) / 1600),
// the exact weighted mean rounded to the nearest level, halves up. With one picture this is
// floor((live (100 - k) + reference k + 50) / 100), the single onion skin of the shooting view, byte for
// byte at every position.

#include <array>
#include <cstddef>
#include <cstdint>

namespace flipbook {

// The most pictures an onion skin lays over the live one.
constexpr int kMostOnionPictures = 5;
// What the weights add up to.
constexpr int kOnionWeightWhole = 1600;

// The weights of the live picture and of the pictures over it, newest (the reference) first, in
// 1600ths; they add up to kOnionWeightWhole.
struct OnionWeights {
    int count = 1;  // pictures over the live one, 1..kMostOnionPictures
    int live = kOnionWeightWhole;
    std::array<int, kMostOnionPictures> pictures{};
};

// The weights of `count` pictures at slider position `position`, as the header comment defines them.
// Raises Exception for a count outside 1..kMostOnionPictures or a position outside 0..100.
OnionWeights OnionLayerWeights(int position, int count);

// One row of each source at the screen's width: 24-bit blue, green, red pixels. pictures[j] is read
// for j below the weights' count.
struct OnionRows {
    const std::uint8_t* live = nullptr;
    std::array<const std::uint8_t*, kMostOnionPictures> pictures{};
};

// out[x] := the screen pixel (blue, green, red, 255) of the weighted mean of pixel x of the rows, for
// `pixels` pixels, mirrored when asked (the last pixel in first). Reads no byte past any row's last
// pixel. Uses the widest path the pixel kernels may use (see instruction_sets.h). Weights that do not
// add up to kOnionWeightWhole, or a negative one, give unspecified pixels.
void ComposeOnionLayers(const OnionRows& rows, const OnionWeights& weights, std::uint32_t* out,
                        std::size_t pixels, bool mirrored);

}  // namespace flipbook
