// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Which vector instruction sets the pixel kernels may use. The kernels take the widest this processor
// runs; tests and the benchmark program narrow it, so every path can be checked and timed on one machine.

#include <optional>
#include <string_view>
#include <vector>

namespace flipbook {

// Narrowest first.
enum class InstructionSet { Portable, Sse2, Avx2, Avx512 };

// The sets this processor runs, narrowest first (Portable always).
std::vector<InstructionSet> SupportedInstructionSets();

// Lets later kernel calls use no set wider than `widest` (nor wider than the processor runs). Meant for
// tests and benchmarks: it applies to every thread at once.
void LimitInstructionSet(InstructionSet widest);

// The set the kernels use now: the widest supported one within the limit.
InstructionSet ActiveInstructionSet();

// "portable", "sse2", "avx2", "avx512".
std::string_view InstructionSetName(InstructionSet set);
// The set of that name, none for any other text.
std::optional<InstructionSet> InstructionSetNamed(std::string_view name);

}  // namespace flipbook
