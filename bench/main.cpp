// SPDX-License-Identifier: GPL-3.0-or-later
// The benchmark program's entry: Google Benchmark's own flags, and --instruction_set=NAME (portable,
// sse2, avx2, avx512), which keeps the pixel kernels to that set or narrower, so a machine with AVX-512
// also gives the figures of the AVX2 path most desktops take.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "effects/instruction_sets.h"

int main(int argc, char** argv) {
    constexpr std::string_view kFlag = "--instruction_set=";
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (!argument.starts_with(kFlag)) {
            argv[kept++] = argv[i];
            continue;
        }
        const auto set = flipbook::InstructionSetNamed(argument.substr(kFlag.size()));
        if (!set) {
            std::fprintf(stderr, "unknown instruction set in %s (portable, sse2, avx2, avx512)\n", argv[i]);
            return 2;
        }
        flipbook::LimitInstructionSet(*set);
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::AddCustomContext("instruction_set",
                                std::string(flipbook::InstructionSetName(flipbook::ActiveInstructionSet())));
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
