// SPDX-License-Identifier: GPL-3.0-or-later
// The onion skin of several pictures: its weights, its pixels against values worked out by hand, and
// one picture giving the shooting view's single onion skin byte for byte, on every path.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

#include "effects/instruction_sets.h"
#include "effects/layers.h"
#include "effects/view_rows.h"
#include "instruction_set_param.h"
#include "platform/core/exception.h"

namespace flipbook {
namespace {

TEST(OnionLayerWeights, Weights_HalveForEachOlderPicture_LiveGivesWayFirst) {
    struct Case {
        int position, count, live;
        std::array<int, kMostOnionPictures> pictures;
    };
    // In 1600ths: the reference 16 k, then halves, each older picture at most what is left.
    const Case cases[] = {
        {50, 1, 800, {800, 0, 0, 0, 0}},      {50, 3, 200, {800, 400, 200, 0, 0}},
        {10, 5, 1290, {160, 80, 40, 20, 10}}, {37, 4, 490, {592, 296, 148, 74, 0}},
        {60, 3, 0, {960, 480, 160, 0, 0}},    {100, 2, 0, {1600, 0, 0, 0, 0}},
        {0, 5, 1600, {0, 0, 0, 0, 0}},        {51, 5, 19, {816, 408, 204, 102, 51}},
        {52, 5, 0, {832, 416, 208, 104, 40}},
    };
    for (const Case& c : cases) {
        const OnionWeights weights = OnionLayerWeights(c.position, c.count);
        EXPECT_EQ(weights.count, c.count);
        EXPECT_EQ(weights.live, c.live) << c.position << " " << c.count;
        EXPECT_EQ(weights.pictures, c.pictures) << c.position << " " << c.count;
    }
    EXPECT_THROW(OnionLayerWeights(50, 0), Exception);
    EXPECT_THROW(OnionLayerWeights(50, 6), Exception);
    EXPECT_THROW(OnionLayerWeights(101, 1), Exception);
    EXPECT_THROW(OnionLayerWeights(-1, 1), Exception);
}

class OnionLayersTest : public InstructionSetParam {};

// Rows of random pixels, each of them as long as the screen row plus nothing: the kernels read no byte
// past a row's last pixel, which the sanitizers see.
struct Rows {
    Rows(std::size_t pixels, unsigned seed) {
        std::mt19937 random(seed);
        for (auto& row : rows) {
            row.resize(3 * pixels);
            for (auto& byte : row) byte = static_cast<std::uint8_t>(random());
        }
    }
    // Sets pixel x of every row to the given grey levels: live, then the pictures newest first.
    void SetPixel(std::size_t x, const std::array<int, 6>& levels) {
        for (std::size_t source = 0; source < rows.size(); ++source)
            std::fill_n(rows[source].begin() + static_cast<std::ptrdiff_t>(3 * x), 3,
                        static_cast<std::uint8_t>(levels[source]));
    }
    OnionRows View() const {
        OnionRows view;
        view.live = rows[0].data();
        for (std::size_t j = 0; j < kMostOnionPictures; ++j) view.pictures[j] = rows[j + 1].data();
        return view;
    }
    std::array<std::vector<std::uint8_t>, 6> rows;
};

// Pixels worked out by hand from the definition, placed at the start, inside the whole blocks and in
// the tail of a row, forwards and mirrored.
TEST_P(OnionLayersTest, Pixels_AreTheRoundedWeightedMean) {
    struct Case {
        int position, count;
        std::array<int, 6> levels;  // live, then the pictures
        int shown;
    };
    const Case cases[] = {
        // 800 * 0 + 800 * 1 = 800 of 1600: half a level, rounded up, as the single onion skin rounds.
        {50, 1, {0, 1, 0, 0, 0, 0}, 1},
        // (200 * 10 + 800 * 200 + 400 * 100 + 200 * 0) / 1600 = 126.25
        {50, 3, {10, 200, 100, 0, 0, 0}, 126},
        // 1290 * 255 / 1600 = 205.59
        {10, 5, {255, 0, 0, 0, 0, 0}, 206},
        // (1290 * 0 + 160 * 0 + 80 * 0 + 40 * 0 + 20 * 0 + 10 * 255) / 1600 = 1.59
        {10, 5, {0, 0, 0, 0, 0, 255}, 2},
        // (490 * 100 + 592 * 101 + 296 * 99 + 148 * 100 + 74 * 3) / 1600 = 153118 / 1600 = 95.70
        {37, 4, {100, 101, 99, 100, 3, 77}, 96},
        // (490 * 1 + 592 * 2 + 296 * 3 + 148 * 4 + 74 * 5) / 1600 = 3524 / 1600 = 2.20
        {37, 4, {1, 2, 3, 4, 5, 250}, 2},
        // The live picture hidden: (960 * 255 + 480 * 255 + 160 * 0) / 1600 = 229.5, rounded up.
        {60, 3, {17, 255, 255, 0, 0, 0}, 230},
        // A picture past the count is never read.
        {50, 2, {40, 80, 120, 0, 0, 0}, 80},  // (400 * 40 + 800 * 80 + 400 * 120) / 1600 = 80
        {100, 1, {9, 250, 0, 0, 0, 0}, 250},
        {0, 3, {9, 250, 1, 2, 0, 0}, 9},
    };
    constexpr std::size_t kPixels = 301;
    const std::size_t places[] = {0, 5, 100, 137, 299, 300};
    for (const Case& c : cases) {
        Rows rows(kPixels, 7);
        for (const std::size_t x : places) rows.SetPixel(x, c.levels);
        const OnionWeights weights = OnionLayerWeights(c.position, c.count);
        for (const bool mirrored : {false, true}) {
            std::vector<std::uint32_t> out(kPixels + 1, 0x12345678u);
            ComposeOnionLayers(rows.View(), weights, out.data() + 1, kPixels, mirrored);
            const auto level = static_cast<std::uint32_t>(c.shown);
            for (const std::size_t x : places)
                EXPECT_EQ(out[1 + (mirrored ? kPixels - 1 - x : x)],
                          0xFF000000u | level << 16 | level << 8 | level)
                    << "position " << c.position << ", " << c.count << " pictures, pixel " << x
                    << (mirrored ? ", mirrored" : "");
            EXPECT_EQ(out[0], 0x12345678u);
        }
    }
}

// One picture is the shooting view's single onion skin at every slider position, rounding and all.
TEST_P(OnionLayersTest, OnePicture_IsTheSingleOnionSkin_AtEveryPosition) {
    const auto& single = effects_detail::ViewRows();
    for (const std::size_t pixels : {std::size_t{1}, std::size_t{45}, std::size_t{1000}}) {
        const Rows rows(pixels, static_cast<unsigned>(pixels));
        for (int position = 0; position <= 100; ++position)
            for (const bool mirrored : {false, true}) {
                std::vector<std::uint32_t> layered(pixels);
                std::vector<std::uint32_t> today(pixels);
                ComposeOnionLayers(rows.View(), OnionLayerWeights(position, 1), layered.data(), pixels,
                                   mirrored);
                const effects_detail::ComposeInput input{rows.rows[0].data(), nullptr, rows.rows[1].data(),
                                                         effects_detail::Combine::Mix, position};
                single.compose(input, today.data(), pixels, mirrored);
                ASSERT_EQ(layered, today) << "position " << position << ", " << pixels << " pixels";
            }
    }
}

// Every count and weight on random rows, against the definition written out here.
TEST_P(OnionLayersTest, RandomRows_GiveTheDefinition) {
    constexpr std::size_t kPixels = 517;
    const Rows rows(kPixels, 11);
    for (int count = 1; count <= kMostOnionPictures; ++count)
        for (const int position : {1, 23, 50, 77, 100}) {
            const OnionWeights weights = OnionLayerWeights(position, count);
            std::vector<std::uint32_t> out(kPixels);
            ComposeOnionLayers(rows.View(), weights, out.data(), kPixels, false);
            for (std::size_t x = 0; x < kPixels; ++x)
                for (std::size_t channel = 0; channel < 3; ++channel) {
                    const std::size_t at = 3 * x + channel;
                    int sum = rows.rows[0][at] * weights.live + 800;
                    for (std::size_t j = 0; j < static_cast<std::size_t>(count); ++j)
                        sum += rows.rows[j + 1][at] * weights.pictures[j];
                    ASSERT_EQ(out[x] >> (8 * channel) & 0xFF, static_cast<std::uint32_t>(sum / 1600))
                        << count << " pictures at " << position << ", pixel " << x;
                }
        }
}

INSTANTIATE_TEST_SUITE_P(Paths, OnionLayersTest,
                         ::testing::Values(InstructionSet::Portable, InstructionSet::Avx2));

}  // namespace
}  // namespace flipbook
