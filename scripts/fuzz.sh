#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the libFuzzer harnesses with clang and runs one for a bounded time.
# Usage: scripts/fuzz.sh NAME SECONDS [extra libFuzzer arguments]
# The working corpus grows in build/fuzz-corpus/NAME; findings land in build/fuzz-findings/NAME.
set -euo pipefail
cd "$(dirname "$0")/.."
name=$1 seconds=$2; shift 2
scripts/install-deps.sh fuzz
build_dir=build/fuzz
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
  -DCMAKE_CXX_COMPILER=clang++ -DFLIPBOOK_BUILD_FUZZERS=ON -DFLIPBOOK_WERROR=OFF >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target "fuzz_$name"
corpus=build/fuzz-corpus/$name findings=build/fuzz-findings/$name
mkdir -p "$corpus" "$findings"
seeds=()
[ -f "fuzz/$name.seeds" ] && while read -r seed; do seeds+=("$seed"); done < "fuzz/$name.seeds"
[ -d "fuzz/regressions/$name" ] && seeds+=("fuzz/regressions/$name")
exec "$build_dir/fuzz/fuzz_$name" "$corpus" "${seeds[@]}" -max_total_time="$seconds" \
  -artifact_prefix="$findings/" -rss_limit_mb=2048 -malloc_limit_mb=1200 -timeout=10 "$@"
