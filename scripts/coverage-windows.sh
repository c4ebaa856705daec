#!/usr/bin/env bash
# Line and branch coverage of the Windows build by its tests under Wine (MinGW's gcov). Manual: it
# takes as long as the Windows suite, and its figures are reported, not held.
#   scripts/coverage-windows.sh [ctest options...]    e.g. -R gaugewell
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/windows-coverage

cmake --preset windows-coverage >/dev/null
nice cmake --build --preset windows-coverage
find "$build" -name '*.gcda' -delete
# Each executable writes its counts beside its objects: their paths are this tree's Unix paths, which
# under Wine are on drive Z: whatever the program's current directory is.
export GCOV_PREFIX=Z:
# The package tests are left out: the release check rightly refuses executables that link libgcov.
ctest --preset windows-coverage -E '^(packages|reproducible|signing)$' "$@" ||
  echo "coverage-windows: some tests failed; the figures are of what ran"

for scope in core adapters; do
  if [ "$scope" = core ]; then
    filters=(--filter 'common/[^/]+$' --filter 'siftwell/core/' --filter 'gaugewell/core/' --filter 'launcher/core/')
  else
    filters=(--filter 'common/win32/' --filter 'siftwell/win32/' --filter 'gaugewell/win32/' --filter 'launcher/win32/')
  fi
  echo "== $scope"
  gcovr --root . --object-directory "$build" --gcov-executable x86_64-w64-mingw32-gcov \
    "${filters[@]}" --exclude-throw-branches --exclude-unreachable-branches \
    --print-summary --sort-percentage "$build"
done
