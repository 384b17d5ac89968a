// SPDX-License-Identifier: GPL-3.0-or-later
// The mean of camera frames: sums and means worked out by hand, the rounding of halves, frames stored
// bottom-up or with padded rows, and what a sum refuses, on every path.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "effects/frame_average.h"
#include "effects/instruction_sets.h"
#include "instruction_set_param.h"
#include "platform/core/exception.h"
#include "platform/graphics/bitmap.h"

namespace flipbook {
namespace {

class FrameSumTest : public InstructionSetParam {};

// A frame of 37 x 3 pixels (rows long enough for whole vectors and a tail, padded to 4 bytes) whose
// every byte is `level`, except byte `special` of the top row.
constexpr int kWidth = 37;
constexpr int kHeight = 3;
constexpr std::size_t kStride = 112;
struct Frame {
    Frame(int level, bool storedTopDown = true)
        : topDown(storedTopDown), bytes(kStride * kHeight, static_cast<std::uint8_t>(level)) {}
    // Byte i of row y counted from the top.
    std::uint8_t& At(int y, std::size_t i) {
        return bytes[static_cast<std::size_t>(topDown ? y : kHeight - 1 - y) * kStride + i];
    }
    FrameRows Rows() const { return {bytes.data(), kWidth, kHeight, kStride, topDown}; }
    bool topDown;
    std::vector<std::uint8_t> bytes;
};

// Byte i of row y of the mean of frames whose byte there is each of `levels`.
int MeanOf(const std::vector<int>& levels, std::size_t i, int y, bool topDown) {
    FrameSum sum;
    sum.Start(kWidth, kHeight);
    for (const int level : levels) {
        Frame frame(level, topDown);
        frame.At(y, i) = static_cast<std::uint8_t>(level);
        sum.Add(frame.Rows());
    }
    Bitmap mean;
    sum.Mean(mean);
    return mean.ScanLine(y)[i];
}

TEST_P(FrameSumTest, Mean_RoundsToTheNearestLevel_HalvesUp) {
    struct Case {
        std::vector<int> levels;
        int mean;
    };
    const Case cases[] = {
        {{7}, 7},
        {{1, 2}, 2},                             // 1.5
        {{0, 0, 0, 1}, 0},                       // 0.25
        {{0, 0, 1, 1}, 1},                       // 0.5
        {{0, 1, 1, 1}, 1},                       // 0.75
        {{0, 0, 1}, 0},                          // 0.33
        {{0, 1, 1}, 1},                          // 0.67
        {{10, 11, 11, 11, 11, 11, 11, 11}, 11},  // 10.875
        {{10, 10, 10, 10, 11, 11, 11, 11}, 11},  // 10.5
        {{10, 10, 10, 10, 10, 11, 11, 11}, 10},  // 10.375
        {std::vector<int>(16, 255), 255},
        {{255, 254, 255, 254, 255, 254, 255, 254, 255, 254, 255, 254, 255, 254, 255, 253}, 254},  // 254.44
    };
    // The first and the last byte of a row, one inside the whole vectors and one in the tail.
    for (const Case& c : cases)
        for (const std::size_t i : {std::size_t{0}, std::size_t{40}, std::size_t{100}, std::size_t{110}})
            for (const bool topDown : {true, false})
                EXPECT_EQ(MeanOf(c.levels, i, 1, topDown), c.mean)
                    << c.levels.size() << " frames, byte " << i << (topDown ? "" : ", bottom-up");
}

TEST_P(FrameSumTest, Sum_HoldsEachByteOfTheFramesAdded) {
    FrameSum sum;
    sum.Start(kWidth, kHeight);
    Frame first(3);
    first.At(0, 0) = 255;
    first.At(2, 110) = 200;
    Frame second(4, false);
    second.At(0, 0) = 255;
    second.At(2, 110) = 100;
    sum.Add(first.Rows());
    sum.Add(second.Rows());
    EXPECT_EQ(sum.Count(), 2);
    EXPECT_EQ(sum.SumRow(0)[0], 510);
    EXPECT_EQ(sum.SumRow(0)[1], 7);
    EXPECT_EQ(sum.SumRow(2)[110], 300);
    // The padding past the last pixel is no part of the sum.
    Bitmap mean;
    sum.Mean(mean);
    EXPECT_EQ(mean.Width(), kWidth);
    EXPECT_EQ(mean.Height(), kHeight);
    EXPECT_TRUE(mean.TopDown());
    EXPECT_EQ(mean.ScanLine(2)[110], 150);
    EXPECT_EQ(mean.ScanLine(0)[0], 255);
    // Starting again empties the sum.
    sum.Start(kWidth, kHeight);
    sum.Add(Frame(9).Rows());
    sum.Mean(mean);
    EXPECT_EQ(mean.ScanLine(0)[0], 9);
}

TEST_P(FrameSumTest, Refuses_ASeventeenthFrame_AFrameOfAnotherSize_AndAnEmptyMean) {
    FrameSum sum;
    Bitmap mean;
    EXPECT_THROW(sum.Add(Frame(1).Rows()), Exception);
    sum.Start(kWidth, kHeight);
    EXPECT_THROW(sum.Mean(mean), Exception);
    const Frame frame(1);
    FrameRows narrower = frame.Rows();
    narrower.width = kWidth - 1;
    EXPECT_THROW(sum.Add(narrower), Exception);
    for (int i = 0; i < FrameSum::kMostFrames; ++i) sum.Add(frame.Rows());
    EXPECT_THROW(sum.Add(frame.Rows()), Exception);
    EXPECT_EQ(sum.Count(), 16);
    sum.Mean(mean);
    EXPECT_EQ(mean.ScanLine(1)[5], 1);
    EXPECT_THROW(sum.Start(0, 5), Exception);
}

INSTANTIATE_TEST_SUITE_P(Paths, FrameSumTest,
                         ::testing::Values(InstructionSet::Portable, InstructionSet::Avx2));

}  // namespace
}  // namespace flipbook
