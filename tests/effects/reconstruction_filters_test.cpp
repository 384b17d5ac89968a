// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <string>

#include "effects/zt_bmpfx.h"

namespace flipbook {
namespace {

const ReconstructionFilter& Filter(const std::string& name) {
    for (const ReconstructionFilter& filter : ReconstructionFilters())
        if (name == filter.name) return filter;
    throw std::out_of_range(name);
}

TEST(ReconstructionFilters_Table, HasTheSevenFiltersInOrderWithTheirWidths) {
    const std::pair<std::string, float> expected[] = {
        {"Box", 0.5f},      {"Triangle", 1.0f}, {"Hermite", 1.0f}, {"Bell", 1.5f},
        {"B-Spline", 2.0f}, {"Lanczos3", 3.0f}, {"Mitchell", 2.0f}};
    ASSERT_EQ(ReconstructionFilters().size(), 7u);
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(ReconstructionFilters()[i].name, expected[i].first);
        EXPECT_EQ(ReconstructionFilters()[i].width, expected[i].second);
    }
}

TEST(ReconstructionFilters_Values, MatchTheirFormulasAtKnownPoints) {
    struct Case {
        const char* name;
        float x;
        float value;
    };
    const Case cases[] = {
        {"Box", 0.5f, 1.0f},
        {"Box", -0.5f, 0.0f},
        {"Box", 0.0f, 1.0f},
        {"Box", 0.51f, 0.0f},
        {"Triangle", -0.25f, 0.75f},
        {"Triangle", 1.0f, 0.0f},
        {"Hermite", 0.5f, 0.5f},
        {"Hermite", 0.0f, 1.0f},
        {"Bell", 0.0f, 0.75f},
        {"Bell", 1.0f, 0.125f},
        {"Bell", 1.5f, 0.0f},
        {"B-Spline", 0.0f, 2.0f / 3.0f},
        {"B-Spline", 1.0f, 1.0f / 6.0f},
        {"B-Spline", -1.5f, 0.125f / 6.0f},
        {"Lanczos3", 0.0f, 1.0f},
        {"Lanczos3", 3.0f, 0.0f},
        {"Lanczos3", 1.0f, 0.0f},
        {"Mitchell", 0.0f, 16.0f / 18.0f},
        {"Mitchell", 1.0f, 1.0f / 18.0f},
        {"Mitchell", 2.0f, 0.0f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(Filter(c.name).filter(c.x), c.value, 1e-6f) << c.name << " at " << c.x;
    // Lanczos3 between its zeros: sinc(0.5) * sinc(1/6).
    EXPECT_NEAR(Filter("Lanczos3").filter(0.5f), 0.6079271f, 1e-6f);
}

TEST(ReconstructionFilters_Values, AreSymmetricAndContinuousExceptBoxEdges) {
    for (const ReconstructionFilter& filter : ReconstructionFilters()) {
        if (std::string(filter.name) == "Box") continue;
        for (float x = 0.0f; x < filter.width + 0.5f; x += 0.125f) {
            EXPECT_EQ(filter.filter(x), filter.filter(-x)) << filter.name << " at " << x;
            // No jumps where the pieces meet.
            EXPECT_NEAR(filter.filter(x + 1e-4f), filter.filter(x), 2e-3f) << filter.name << " at " << x;
        }
        EXPECT_EQ(filter.filter(filter.width), 0.0f) << filter.name;
    }
}

}  // namespace
}  // namespace flipbook
