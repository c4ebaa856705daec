#!/usr/bin/env bash
# kit-results.exe's tally, one row per way a suite can end: passed, failed, skipped with and without a
# reason, crashed after its tests (a failing status, no failure in its XML), and no XML at all.
#   test-kit-results.sh BUILD_DIR KIT_RESULTS_EXE
set -uo pipefail
build=$1
exe=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "$build/kit-results-test.XXXXXX")
trap 'rm -rf "$work"' EXIT

suite() { # suite NAME EXIT_STATUS TESTCASE...
  local name=$1 status=$2
  shift 2
  { echo '<?xml version="1.0" encoding="UTF-8"?>'; echo '<testsuites><testsuite name="S">'; printf '%s\n' "$@"; echo '</testsuite></testsuites>'; } >"$work/$name.xml"
  printf '%s\r\n' "$status" >"$work/$name.exit"
}
pass='<testcase name="a" status="run" result="completed" classname="S" />'
fail='<testcase name="b" status="run" result="completed" classname="S"><failure message="x.cpp:1&#x0A;no" type=""></failure></testcase>'
skip='<testcase name="c" status="run" result="skipped" classname="S"><skipped message="x.cpp:2&#x0A;needs Windows: why"></skipped></testcase>'
mute='<testcase name="d" status="run" result="skipped" classname="S"><skipped message="x.cpp:3&#x0A;"></skipped></testcase>'
filtered='<testcase name="e" status="notrun" result="suppressed" classname="S" />'

failures=0
row() { # row EXPECTED_LAST_LINE EXPECTED_STATUS SUITE...
  local expected=$1 wanted=$2
  shift 2
  local out status
  out=$(bash "$here/../../scripts/wine-exec.sh" "$build" "$exe" 'Z:'"${work//\//\\}" "$@" | tr -d '\r')
  status=$?
  if [ "$(tail -n 1 <<<"$out")" != "$expected" ] || [ "$status" != "$wanted" ]; then
    echo "FAIL: $* gave status $status and: $out"
    failures=$((failures + 1))
  fi
}
suite good 0 "$pass" "$pass" "$skip" "$filtered"
suite bad 1 "$pass" "$fail"
suite mute 0 "$pass" "$mute"
suite crashed 3 "$pass"
row "2 passed, 0 failed, 1 skipped" 0 good
row "3 passed, 1 failed, 1 skipped" 1 good bad
row "1 passed, 1 failed, 0 skipped" 1 mute
row "1 passed, 1 failed, 0 skipped" 1 crashed
row "0 passed, 1 failed, 0 skipped" 1 absent
exit $((failures > 0))
