// SPDX-License-Identifier: GPL-3.0-or-later
// A costly blend of a camera frame in two bands of rows on two threads: the same bytes as one thread
// gives, whichever way up the pictures lie; and the band worker's own promises.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <random>
#include <stdexcept>
#include <thread>
#include <vector>

#include "effects/band_worker.h"
#include "effects/zt_bmpfx.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

Bitmap Noise(int width, int height, bool topDown, unsigned seed) {
    Bitmap bitmap;
    BitmapInfoHeader header;
    header.width = width;
    header.height = topDown ? -height : height;
    header.bitCount = 24;
    bitmap.CreateSection(header, {}, {});
    std::mt19937 random(seed);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < 3 * width; ++x) bitmap.ScanLine(y)[x] = static_cast<std::uint8_t>(random());
    return bitmap;
}

// The slider at 10 and 15 and a weight no slider gives, whose exact halfway cases cost the most: the
// bytes of the blend on one thread (whose every byte pair the blend's own test checks).
TEST(BandWorker, SplitsACostlyFramesBlend_IntoTheSameBytes) {
    BandWorker bands;
    const Bitmap frame = Noise(1920, 1080, true, 1);
    const FrameRows rows{frame.Pixels(), frame.Width(), frame.Height(), frame.RowStride(), true};
    for (const bool topDown : {true, false})
        for (const long double weight : {0.10L, 0.15L, 0.3712L}) {
            Bitmap reference = Noise(1920, 1080, topDown, 2);
            Bitmap split = Noise(8, 8, topDown, 3);
            Bitmap whole = Noise(8, 8, topDown, 3);
            Blend(rows, reference, split, weight, &bands);
            Blend(rows, reference, whole, weight);
            ASSERT_EQ(split.Width(), 1920);
            ASSERT_EQ(split.Height(), 1080);
            for (int y = 0; y < 1080; ++y)
                ASSERT_TRUE(std::equal(split.ScanLine(y), split.ScanLine(y) + 3 * 1920, whole.ScanLine(y)))
                    << "weight " << static_cast<double>(weight) << " row " << y;
        }
}

// Each row once, the lower half on another thread; a band that raises raises in the caller after both
// bands are done, and the worker goes on working.
TEST(BandWorker, RunsEachRowOnce_AndHandsBackAFailure) {
    BandWorker bands;
    std::vector<std::atomic<int>> runs(101);
    std::atomic<bool> otherThread{false};
    const auto caller = std::this_thread::get_id();
    bands.Split(101, [&](int begin, int end) {
        if (begin > 0 && std::this_thread::get_id() != caller) otherThread = true;
        for (int row = begin; row < end; ++row) ++runs[static_cast<std::size_t>(row)];
    });
    EXPECT_TRUE(otherThread);
    EXPECT_TRUE(
        std::all_of(runs.begin(), runs.end(), [](const std::atomic<int>& count) { return count == 1; }));

    std::atomic<int> upperDone{0};
    EXPECT_THROW(bands.Split(10,
                             [&](int begin, int) {
                                 if (begin > 0) throw std::runtime_error("lower band");
                                 ++upperDone;
                             }),
                 std::runtime_error);
    EXPECT_EQ(upperDone, 1);
    int rows = 0;
    bands.Split(4, [&](int begin, int end) {
        if (begin == 0) rows += end - begin;
    });
    EXPECT_EQ(rows, 2);
}

}  // namespace
}  // namespace flipbook
