// SPDX-License-Identifier: GPL-3.0-or-later
#include "effects/instruction_sets.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <utility>

namespace flipbook {
namespace {

constexpr std::array<std::pair<InstructionSet, std::string_view>, 4> kNames{{
    {InstructionSet::Portable, "portable"},
    {InstructionSet::Sse2, "sse2"},
    {InstructionSet::Avx2, "avx2"},
    {InstructionSet::Avx512, "avx512"},
}};

InstructionSet WidestSupported() {
    static const InstructionSet widest = SupportedInstructionSets().back();
    return widest;
}

std::atomic<InstructionSet>& Active() {
    static std::atomic<InstructionSet> active{WidestSupported()};
    return active;
}

}  // namespace

std::vector<InstructionSet> SupportedInstructionSets() {
    std::vector<InstructionSet> sets{InstructionSet::Portable};
#if defined(__x86_64__) && defined(__SSE2__)
    __builtin_cpu_init();
    sets.push_back(InstructionSet::Sse2);
    if (__builtin_cpu_supports("avx2")) sets.push_back(InstructionSet::Avx2);
    // The byte permutes of the wide path need VBMI beside BW.
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi"))
        sets.push_back(InstructionSet::Avx512);
#endif
    return sets;
}

void LimitInstructionSet(InstructionSet widest) {
    Active().store(std::min(widest, WidestSupported()), std::memory_order_relaxed);
}

InstructionSet ActiveInstructionSet() {
    return Active().load(std::memory_order_relaxed);
}

std::string_view InstructionSetName(InstructionSet set) {
    for (const auto& [named, name] : kNames)
        if (named == set) return name;
    return "?";
}

std::optional<InstructionSet> InstructionSetNamed(std::string_view name) {
    for (const auto& [set, named] : kNames)
        if (named == name) return set;
    return std::nullopt;
}

}  // namespace flipbook
