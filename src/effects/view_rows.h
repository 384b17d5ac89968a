// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the effects folder: the row kernels of the full-screen view, each exact and written
// portably and for AVX2. 512-bit versions of the mix, the difference and the spreading to screen pixels
// measured slower than these on a processor that has them, so AVX-512 runs the AVX2 kernels.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "effects/instruction_sets.h"

namespace flipbook::effects_detail {

// Input rows may be read, and temporary output rows written, this many bytes past their last pixel;
// row buffers of our own are made that much longer. Rows of a Bitmap are never read past their end.
constexpr std::size_t kRowSlack = 64;

// Where each target pixel of one axis lies between two source pixels (bilinear, pixel centres
// aligned), the weight of the second in 1/256. At exactly twice the size this is the 2 x 2 average.
struct AxisTaps {
    std::vector<std::int32_t> first;
    std::vector<std::int32_t> second;
    std::vector<std::uint16_t> weight;
    // First target pixel from which second reaches the source's last pixel: a 4-byte load there
    // would pass the row's end.
    int safeCount = 0;
    // Exactly half the size: every target pixel the rounded-up mean of two source pixels.
    bool halving = false;
    // Enlarging, the first windowBytes output bytes (a multiple of 32) come 32 at a time from byte
    // shuffles of 16-byte windows of the source row, two for each 16 output bytes: one holding each byte's
    // first source byte, one its second. Per 16 output bytes, windowStarts has the two windows' first
    // bytes; per 32, windowPicks has the 16 positions in the first windows of both halves, then in the
    // second ones, and windowWeights the byte weights times 128 in the order bytes are unpacked to
    // 16 bits (the halves' first eight, then their last eight). Bytes of weight 0 pick any second byte;
    // a byte of weight 256 is its second byte, picked as a first one of weight 0.
    // The steps repeat: steps from windowLead + windowPeriod on are those windowPeriod before them, their
    // windows windowShift bytes further on, so the tables hold only the first windowLead + windowPeriod
    // steps and stay in the first-level cache beside the rows.
    // With windowEnd, one more step after those kept makes the row's last 32 output bytes (some of them
    // made already), its windows' starts counted from the row's start: no byte is left to the
    // byte-by-byte tail.
    bool windowEnd = false;
    std::size_t windowBytes = 0;
    std::size_t windowLead = 0;
    std::size_t windowPeriod = 0;
    std::int32_t windowShift = 0;
    std::vector<std::int32_t> windowStarts;
    std::vector<std::uint8_t> windowPicks;
    std::vector<std::int16_t> windowWeights;
};
AxisTaps MakeAxisTaps(int sourceLength, int targetLength);

// What a screen row shows of the live picture and the reference (see ViewRowKernels::compose).
enum class Combine { Copy, Mix, Difference };

struct ComposeInput {
    // The live row; with lower, it and lower are two rows of twice the width, and each pixel shown is
    // the 2 x 2 mean, rounded up on each axis (vertical first) as the bilinear halving gives.
    const std::uint8_t* live = nullptr;
    const std::uint8_t* lower = nullptr;
    const std::uint8_t* reference = nullptr;  // read for Mix and Difference only
    Combine combine = Combine::Copy;
    int weight = 0;  // the reference's for Mix, 0..100
    // Enlarging, the live row may lie between two resampled rows: with next, each live byte shown is
    // (live (256 - w) + next w + 128) >> 8 for w = nextWeight (1..255), as lerp gives, so the mixed
    // row is never written out and read back.
    const std::uint8_t* next = nullptr;
    int nextWeight = 0;
};

struct ViewRowKernels {
    // out := round((a (100 - k) + b k) / 100), halves up, for count bytes; k is 0..100.
    void (*mix)(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count, int k);
    // out := min(255, 4 |a - b|) for count bytes.
    void (*difference)(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count);
    // out := (a (256 - w) + b w + 128) >> 8 for count bytes; w is 0..256.
    void (*lerp)(const std::uint8_t* a, const std::uint8_t* b, std::uint8_t* out, std::size_t count, int w);
    // Horizontal bilinear resampling of 24-bit pixels: taps.first.size() pixels out; out has slack.
    void (*resample)(const std::uint8_t* in, std::uint8_t* out, const AxisTaps& taps);
    // 24-bit pixels to the screen's 32-bit ones (blue, green, red, 255), in the same order or mirrored
    // (the last pixel in first). Reads no byte past the input's last pixel.
    void (*expand)(const std::uint8_t* in, std::uint32_t* out, std::size_t pixels, bool mirrored);
    // One screen row in one pass: the live pixels combined with the reference's as mix or difference
    // give them, spread to screen pixels as expand does. Reads no byte past any row's last pixel.
    void (*compose)(const ComposeInput& input, std::uint32_t* out, std::size_t pixels, bool mirrored);
    // Rule-of-thirds line pixels: light := p / 2 + 128 and dark := (p + 1) / 2 for each colour byte.
    void (*lighten)(std::uint32_t* pixels, std::size_t count);
    void (*darken)(std::uint32_t* pixels, std::size_t count);
};

// The kernels of the instruction set the pixel kernels use now (ActiveInstructionSet; SSE2 runs the
// portable ones), so LimitInstructionSet reaches these as it reaches the blend.
const ViewRowKernels& ViewRows();

const ViewRowKernels& PortableViewRows();
const ViewRowKernels& Avx2ViewRows();

}  // namespace flipbook::effects_detail
