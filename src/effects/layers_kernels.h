// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Internal to the effects folder: the onion layers' row kernels of each instruction set, which give the
// same pixels (see layers.h for what they compute).

#include <cstddef>
#include <cstdint>

#include "effects/layers.h"

namespace flipbook::effects_detail {

void ComposeOnionLayersPortable(const OnionRows& rows, const OnionWeights& weights, std::uint32_t* out,
                                std::size_t pixels, bool mirrored);
void ComposeOnionLayersAvx2(const OnionRows& rows, const OnionWeights& weights, std::uint32_t* out,
                            std::size_t pixels, bool mirrored);

}  // namespace flipbook::effects_detail
