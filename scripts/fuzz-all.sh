#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every libFuzzer harness (fuzz/*.cmake) for a bounded time over its seeds and past findings,
# one after another, and fails if any of them finds something (crash, leak, timeout, out of memory).
# Usage: scripts/fuzz-all.sh SECONDS [extra libFuzzer arguments]
# Each harness's log is kept in build/fuzz-logs/NAME.log; findings land in build/fuzz-findings/NAME.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:?usage: scripts/fuzz-all.sh SECONDS [libFuzzer arguments]}; shift

names=()
for list in fuzz/*.cmake; do names+=("$(basename "$list" .cmake)"); done
logs=build/fuzz-logs
mkdir -p "$logs"

failed=()
summary=()
for name in "${names[@]}"; do
  echo "== fuzzing $name for $seconds s"
  # Old findings would make a clean run look dirty, and a dirty one harder to read.
  rm -rf "build/fuzz-findings/$name"
  status=0
  scripts/fuzz.sh "$name" "$seconds" -print_final_stats=1 "$@" >"$logs/$name.log" 2>&1 || status=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$logs/$name.log" | tail -1)
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$logs/$name.log" | tail -1 || true)
  coverage=$(sed -nE 's/.* cov: ([0-9]+) ft: ([0-9]+) corp: ([0-9]+)\/.*/cov \1, features \2, corpus \3/p' \
    <<<"$done_line")
  if [ "$status" -eq 0 ]; then
    summary+=("$name: ok, ${runs:-?} runs, ${coverage:-no coverage line}")
  else
    failed+=("$name")
    summary+=("$name: FAILED (exit $status) after ${runs:-?} runs; see $logs/$name.log")
    # The report and the input that caused it, so CI's log holds what is needed to reproduce it.
    grep -E -A40 '^==[0-9]+==ERROR|^SUMMARY|ERROR: libFuzzer|Test unit written' "$logs/$name.log" | head -80 || true
    tail -5 "$logs/$name.log"
    ls -l "build/fuzz-findings/$name" 2>/dev/null || true
  fi
done

echo "== fuzzing summary ($seconds s each)"
printf '  %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "findings in: ${failed[*]}; put each input into fuzz/regressions/NAME/ and fix the code" >&2
  exit 1
fi
