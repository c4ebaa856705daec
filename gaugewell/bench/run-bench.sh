#!/usr/bin/env bash
# Times a whole Gaugewell.exe run under Wine against its peers, each started as its own process with
# a warm wineserver, and prints the median of several runs side by side with the ratios.
#   run-bench.sh BUILD_DIR GAUGEWELL_EXE FLOOR_EXE PEER_VBS [RUNS]
set -euo pipefail
build_dir=$1 gaugewell=$2 floor=$3 peer=$4 runs=${5:-7}
scripts=$(cd "$(dirname "$0")/../../scripts" && pwd)

bash "$scripts/wine-session.sh" start "$build_dir" >/dev/null
trap 'bash "$scripts/wine-session.sh" stop "$build_dir"' EXIT
# shellcheck source=/dev/null
source "$scripts/wine-env.sh" "$build_dir"

work="$build_dir/gaugewell-bench"
rm -rf "$work" && mkdir -p "$work"
cp "$gaugewell" "$floor" "$peer" "$work/"
printf '[memory.conf]\r\nServer=.\r\nDisk=C\r\n' >"$work/memory.conf"
cd "$work"

# Median wall time in seconds of `runs` runs of the command; one unmeasured run first.
median_of() {
  "$@" >/dev/null 2>&1 || true
  local times=()
  for _ in $(seq "$runs"); do
    local start end
    start=$(date +%s%N)
    "$@" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    times+=("$(((end - start) / 1000))")
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ a[NR] = $1 } END { printf "%.3f", a[int((NR + 1) / 2)] / 1e6 }'
}

wmic_three() {
  wine wmic cpu get loadpercentage
  wine wmic os get FreePhysicalMemory,TotalVisibleMemorySize
  wine wmic logicaldisk where "DeviceID='C:'" get FreeSpace,Size
}

gauge=$(median_of wine ./Gaugewell.exe)
vbs=$(median_of wine cscript //nologo "$(basename "$peer")")
flr=$(median_of wine ./"$(basename "$floor")")
wmic=$(median_of wmic_three)
empty=$(median_of wine cmd /c exit)

ratio() { awk -v a="$1" -v b="$gauge" 'BEGIN { printf "%.2f", a / b }'; }
echo "Gaugewell benchmark: median of $runs runs each, wall time of one process start to end, warm wineserver"
printf '%-52s %9s %14s\n' "program" "seconds" "x Gaugewell"
printf '%-52s %9s %14s\n' "Gaugewell.exe, whole run (3 connections, 4 lines)" "$gauge" "1.00"
printf '%-52s %9s %14s\n' "peer: VBScript, same queries (cscript //nologo)" "$vbs" "$(ratio "$vbs")"
printf '%-52s %9s %14s\n' "floor: 3 connections, queries, property reads" "$flr" "$(ratio "$flr")"
printf '%-52s %9s %14s\n' "wmic, three processes (two answer errors in Wine)" "$wmic" "$(ratio "$wmic")"
printf '%-52s %9s %14s\n' "empty process (wine cmd /c exit)" "$empty" "$(ratio "$empty")"
echo "Gaugewell.log of the runs ends with:"
tail -n 4 Gaugewell.log
echo "peer.log ends with:"
tail -n 4 peer.log 2>/dev/null || echo "(none)"
