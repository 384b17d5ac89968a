// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <algorithm>

#include "effects/instruction_sets.h"

namespace flipbook {

// A test run once for each instruction set the pixel kernels have a path for: the kernels keep to
// that set while it runs, and a set this processor lacks is skipped by name, so the report says what
// went untested.
class InstructionSetParam : public ::testing::TestWithParam<InstructionSet> {
protected:
    void SetUp() override {
        const auto supported = SupportedInstructionSets();
        if (std::find(supported.begin(), supported.end(), GetParam()) == supported.end())
            GTEST_SKIP() << "the processor does not run " << InstructionSetName(GetParam());
        LimitInstructionSet(GetParam());
    }
    void TearDown() override { LimitInstructionSet(SupportedInstructionSets().back()); }
};

}  // namespace flipbook
