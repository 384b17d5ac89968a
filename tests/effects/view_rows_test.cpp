// SPDX-License-Identifier: GPL-3.0-or-later
// The full-screen view's enlarging resample, which on AVX2 shuffles each output byte's two source bytes
// out of small windows of the row: every ratio from a hair above one to many times, each pixel against
// the bilinear definition written out here, on every path.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "effects/instruction_sets.h"
#include "effects/view_rows.h"
#include "instruction_set_param.h"

namespace flipbook {
namespace {

class EnlargingResample : public InstructionSetParam {};

TEST_P(EnlargingResample, EveryPixelIsTheBilinearMixOfItsTwoNeighbours) {
    std::mt19937 random(11);
    std::vector<std::pair<int, int>> sizes{{1280, 1920}, {640, 1920}, {720, 1080}, {1000, 1001}, {1919, 1920},
                                           {5, 6},       {6, 64},     {11, 2000},  {300, 1024}};
    for (int source = 6; source <= 40; ++source)
        for (int target = source + 1; target <= 3 * source; target += 1 + target / 16)
            sizes.emplace_back(source, target);
    for (const auto& [source, target] : sizes) {
        std::vector<std::uint8_t> in(static_cast<std::size_t>(source) * 3);
        for (auto& byte : in) byte = static_cast<std::uint8_t>(random());
        std::vector<std::uint8_t> out(static_cast<std::size_t>(target) * 3 + effects_detail::kRowSlack);
        const auto taps = effects_detail::MakeAxisTaps(source, target);
        effects_detail::ViewRows().resample(in.data(), out.data(), taps);
        const double step = static_cast<double>(source) / target;
        for (int x = 0; x < target; ++x) {
            // Pixel centres aligned; the weight of the right neighbour in 1/256, rounded.
            const double at = std::clamp((x + 0.5) * step - 0.5, 0.0, source - 1.0);
            const int left = static_cast<int>(at);
            const int right = std::min(left + 1, source - 1);
            const auto weight = static_cast<int>(std::lround((at - left) * 256));
            for (int channel = 0; channel < 3; ++channel) {
                const int expected = (in[static_cast<std::size_t>(3 * left + channel)] * (256 - weight) +
                                      in[static_cast<std::size_t>(3 * right + channel)] * weight + 128) >>
                                     8;
                ASSERT_EQ(out[static_cast<std::size_t>(3 * x + channel)], expected)
                    << source << " into " << target << ", pixel " << x << " channel " << channel;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, EnlargingResample,
                         ::testing::Values(InstructionSet::Portable, InstructionSet::Avx2),
                         [](const auto& param) { return std::string(InstructionSetName(param.param)); });

}  // namespace
}  // namespace flipbook
