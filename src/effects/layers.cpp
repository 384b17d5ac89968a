// SPDX-License-Identifier: GPL-3.0-or-later
// The onion layers' weights, their portable row kernel and the choice of kernel for this processor.

#include "effects/layers.h"

#include <algorithm>
#include <string>

#include "effects/instruction_sets.h"
#include "effects/layers_kernels.h"
#include "platform/core/exception.h"

namespace flipbook {

OnionWeights OnionLayerWeights(int position, int count) {
    if (count < 1 || count > kMostOnionPictures)
        throw Exception("An onion skin lays 1 to " + std::to_string(kMostOnionPictures) + " pictures, not " +
                        std::to_string(count));
    if (position < 0 || position > 100)
        throw Exception("Onion skin position " + std::to_string(position) + " is outside 0 to 100");
    OnionWeights weights;
    weights.count = count;
    int left = kOnionWeightWhole;
    int halved = kOnionWeightWhole / 100 * position;
    for (int j = 0; j < count; ++j) {
        weights.pictures[static_cast<std::size_t>(j)] = std::min(halved, left);
        left -= weights.pictures[static_cast<std::size_t>(j)];
        // Exact down to the fifth picture: 16 k halved four times is k.
        halved /= 2;
    }
    weights.live = left;
    return weights;
}

void ComposeOnionLayers(const OnionRows& rows, const OnionWeights& weights, std::uint32_t* out,
                        std::size_t pixels, bool mirrored) {
#if defined(__x86_64__)
    if (ActiveInstructionSet() >= InstructionSet::Avx2)
        return effects_detail::ComposeOnionLayersAvx2(rows, weights, out, pixels, mirrored);
#endif
    effects_detail::ComposeOnionLayersPortable(rows, weights, out, pixels, mirrored);
}

namespace effects_detail {

void ComposeOnionLayersPortable(const OnionRows& rows, const OnionWeights& weights, std::uint32_t* out,
                                std::size_t pixels, bool mirrored) {
    const auto count = static_cast<std::size_t>(weights.count);
    for (std::size_t x = 0; x < pixels; ++x) {
        std::uint32_t value = 0xFF000000u;
        for (std::size_t channel = 0; channel < 3; ++channel) {
            const std::size_t at = 3 * x + channel;
            // At most 1600 * 255 + 800, well inside an int.
            int sum = rows.live[at] * weights.live + kOnionWeightWhole / 2;
            for (std::size_t j = 0; j < count; ++j) sum += rows.pictures[j][at] * weights.pictures[j];
            value |= static_cast<std::uint32_t>(sum / kOnionWeightWhole) << (8 * channel);
        }
        out[mirrored ? pixels - 1 - x : x] = value;
    }
}

}  // namespace effects_detail

}  // namespace flipbook
