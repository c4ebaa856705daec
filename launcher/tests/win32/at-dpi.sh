#!/usr/bin/env bash
# Runs a Windows test program of the build under Wine on a screen of another DPI. Wine reads the DPI
# from the prefix when wineserver starts, and the build tree's prefix is shared by every other test,
# so the run gets a copy of that prefix with its own wineserver, and the copy goes afterwards.
#   at-dpi.sh BUILD_DIR DPI PROGRAM.exe [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../../scripts/wine-env.sh
source "$here/../../../scripts/wine-env.sh" "$1"
dpi=$2
shift 2
prefix="$WINEPREFIX-dpi$dpi"
out=$(mktemp)
remove_copy() {
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null || true
  rm -rf "$prefix"
}
trap 'remove_copy; rm -f "$out"' EXIT
remove_copy
cp -a "$WINEPREFIX" "$prefix"
export WINEPREFIX="$prefix"
for key in 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' 'HKCU\Control Panel\Desktop'; do
  wine reg add "$key" /v LogPixels /t REG_DWORD /d "$dpi" /f </dev/null >/dev/null 2>&1
done
# Saved, and read afresh by the next wineserver.
wineserver -w
# As wine-exec.sh: Wine's helper processes inherit the output and outlive the program.
status=0
ZANDREL_TEST_DPI=$dpi "${zandrel_port_lock[@]}" wine "$@" </dev/null >"$out" 2>&1 || status=$?
cat "$out"
exit $status
