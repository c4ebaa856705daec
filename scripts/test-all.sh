#!/usr/bin/env bash
# Every test of the tool set: installs what is missing, checks the formatting, then runs the native
# unit tests (ASan, UBSan), the Windows build's tests under Wine, a bounded fuzzing run, and the
# core's line and branch coverage against its floors.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== formatting"
git ls-files -z '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run --Werror

logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT
passed=0
failed=0
run_workflow() {
  local preset=$1
  echo "== $preset"
  cmake --workflow --preset "$preset" 2>&1 | tee "$logs/$preset.log"
  local status=${PIPESTATUS[0]}
  # ctest's summary: "100% tests passed, 0 tests failed out of 5"
  local summary
  summary=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$logs/$preset.log" | tail -n 1 || true)
  if [ -n "$summary" ]; then
    local total bad
    bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$summary")
    total=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$summary")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
  fi
  return "$status"
}

status=0
run_workflow host || status=1      # portable cores, unit tests with sanitizers
run_workflow windows || status=1   # cross-built executables and tests under Wine
run_workflow fuzz || status=1      # libFuzzer smoke run
echo "== coverage"
scripts/coverage.sh || status=1    # the core's lines and branches, held at their floors

echo "total: $passed passed, $failed failed"
exit "$status"
