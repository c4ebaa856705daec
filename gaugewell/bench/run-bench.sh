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

wmic_three() {
  wine wmic cpu get loadpercentage
  wine wmic os get FreePhysicalMemory,TotalVisibleMemorySize
  wine wmic logicaldisk where "DeviceID='C:'" get FreeSpace,Size
}

# The contenders take turns within each round, so that a load that comes and goes on the machine
# falls on all of them alike; one unmeasured round first. A pause before each run lets the helper
# processes that Wine starts for the previous one settle.
contenders=(gauge vbs flr wmic empty)
run_one() {
  case $1 in
  gauge) wine ./Gaugewell.exe ;;
  vbs) wine cscript //nologo "$(basename "$peer")" ;;
  flr) wine ./"$(basename "$floor")" ;;
  wmic) wmic_three ;;
  empty) wine cmd /c exit ;;
  esac
}
declare -A times
for round in $(seq 0 "$runs"); do
  for c in "${contenders[@]}"; do
    sleep 0.25
    start=$(date +%s%N)
    run_one "$c" >/dev/null 2>&1 || true
    end=$(date +%s%N)
    [ "$round" -eq 0 ] || times[$c]+="$(((end - start) / 1000)) "
  done
done
# "median minimum" in seconds
stats() {
  tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -n |
    awk '{ a[NR] = $1 } END { printf "%.3f %.3f", a[int((NR + 1) / 2)] / 1e6, a[1] / 1e6 }'
}
read -r gauge gauge_min <<<"$(stats gauge)"
read -r vbs vbs_min <<<"$(stats vbs)"
read -r flr flr_min <<<"$(stats flr)"
read -r wmic wmic_min <<<"$(stats wmic)"
read -r empty empty_min <<<"$(stats empty)"

ratio() { awk -v a="$1" -v b="$gauge" 'BEGIN { printf "%.2f", a / b }'; }

echo "Gaugewell benchmark: median of $runs interleaved runs each, wall time of one process start to end, warm wineserver"
row() { printf '%-52s %9s %12s %9s\n' "$@"; }
row "program" "median s" "x Gaugewell" "min s"
row "Gaugewell.exe, whole run (3 connections, 4 lines)" "$gauge" "1.00" "$gauge_min"
row "peer: VBScript, same queries (cscript //nologo)" "$vbs" "$(ratio "$vbs")" "$vbs_min"
row "floor: 3 connections, queries, property reads" "$flr" "$(ratio "$flr")" "$flr_min"
row "wmic, three processes (two answer errors in Wine)" "$wmic" "$(ratio "$wmic")" "$wmic_min"
row "empty process (wine cmd /c exit)" "$empty" "$(ratio "$empty")" "$empty_min"
echo "Gaugewell.log of the runs ends with:"
tail -n 4 Gaugewell.log
echo "peer.log ends with:"
tail -n 4 peer.log 2>/dev/null || echo "(none)"
