// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The mean of a few consecutive camera frames: a webcam's noise differs from frame to frame, so the
// mean of n frames of a still scene has about 1 / sqrt(n) of it. Frames are added one at a time as they
// come, into a sum of 16 bits a byte, which holds up to 16 frames exactly.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "effects/zt_bmpfx.h"

namespace flipbook {

class Bitmap;

class FrameSum {
public:
    // The most frames a sum holds: 16 * 255 still fits 16 bits.
    static constexpr int kMostFrames = 16;

    // Empties the sum for frames of width x height. Memory already held is kept for a size no larger.
    // Raises Exception for a size that is not positive or is larger than a picture may be.
    void Start(int width, int height);

    // Adds a 24-bit frame of the sum's size. Raises Exception when the size differs, no sum was started,
    // or kMostFrames frames are in it already; the sum is unchanged then.
    void Add(const FrameRows& frame);

    // Frames added since Start.
    int Count() const { return count_; }
    int Width() const { return width_; }
    int Height() const { return height_; }

    // Makes target a 24-bit top-down picture of the sum's size whose every byte is the mean of that byte
    // of the frames added, rounded to the nearest level, halves up: floor((sum + count / 2) / count).
    // Raises Exception when no frame was added.
    void Mean(Bitmap& target) const;

    // The sums of row y, 3 x width of them (for tests).
    const std::uint16_t* SumRow(int y) const;

private:
    // On a cache line's start, so that the rows of a frame whose width is a multiple of 32 pixels are too.
    static constexpr std::size_t kSumAlignment = 64;
    struct FreeSums {
        void operator()(std::uint16_t* sums) const;
    };
    std::unique_ptr<std::uint16_t[], FreeSums> sums_;
    std::size_t capacity_ = 0;
    int width_ = 0;
    int height_ = 0;
    int count_ = 0;
};

namespace effects_detail {
// sums[i] += bytes[i] for count bytes; on AVX2 when the pixel kernels may use it.
void AddBytes(const std::uint8_t* bytes, std::uint16_t* sums, std::size_t count);
// sums[i] := bytes[i], the first frame of a sum.
void WidenBytes(const std::uint8_t* bytes, std::uint16_t* sums, std::size_t count);
}  // namespace effects_detail

}  // namespace flipbook
