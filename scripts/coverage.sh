#!/usr/bin/env bash
# Line and branch coverage of the portable core by the native unit tests (gcovr over gcov's data).
# Fails when the core falls below the floors: the figures the core is held at.
#   scripts/coverage.sh [gcovr options...]    e.g. --html-details build/coverage/index.html
set -euo pipefail
cd "$(dirname "$0")/.."

line_floor=${ZANDREL_COVERAGE_LINES:-99}
branch_floor=${ZANDREL_COVERAGE_BRANCHES:-95}
build=build/coverage

cmake --preset coverage >/dev/null
cmake --build --preset coverage
# Counts of an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
ctest --preset coverage

# The core: common/ without its win32/ adapters (the native writer in posix/ is in), and the probes'
# and the launcher's core/ folders. Branches that only throw (allocation failures) or that the
# compiler proves dead are left out.
gcovr --root . --object-directory "$build" \
  --filter 'common/[^/]+$' --filter 'common/posix/' \
  --filter 'siftwell/core/' --filter 'gaugewell/core/' --filter 'launcher/core/' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --print-summary --sort-percentage \
  --fail-under-line "$line_floor" --fail-under-branch "$branch_floor" "$@" "$build"
