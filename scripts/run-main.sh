#!/usr/bin/env bash
# The main job: builds and installs the tool set, runs both probes on this computer under Wine with
# the shipped settings files, and prints their result files.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

scripts/setup.sh
cmake --preset windows >/dev/null
# Only the three programs: the tests and benchmarks are built by scripts/test-all.sh.
cmake --build --preset windows --target Siftwell Gaugewell Zandrel
cmake --install build/windows >/dev/null
install_dir="$root/build/install"
mkdir -p "$install_dir"
echo "installed in $install_dir:"
ls "$install_dir"

ZANDREL_KEEP_WINEPREFIX=1 bash scripts/wine-session.sh start build/windows
trap 'bash scripts/wine-session.sh stop build/windows' EXIT

failures=0
run_probe() {
  local exe=$1 log=$2
  echo
  echo "== $exe"
  if [ ! -f "$install_dir/$exe" ]; then
    echo "run-main: $exe is missing from $install_dir: the install did not lay it out" >&2
    failures=$((failures + 1))
    return 0
  fi
  set +e
  # The probes print nothing; what Wine itself says is shown only when a run fails.
  (cd "$install_dir" && bash "$root/scripts/wine-exec.sh" "$root/build/windows" "./$exe") >"$root/build/$exe.wine.txt" 2>&1
  local status=$?
  if [ "$status" -ne 0 ]; then
    cat "$root/build/$exe.wine.txt"
    failures=$((failures + 1))
  fi
  set -e
  echo "exit status $status; $log now reads:"
  cat "$install_dir/$log" 2>/dev/null || echo "(no $log)"
}

run_probe Siftwell.exe event.log
run_probe Gaugewell.exe Gaugewell.log
if [ "$failures" -ne 0 ]; then
  echo "run-main: $failures of the two probes were missing or failed (see above)" >&2
  exit 1
fi
