#!/usr/bin/env bash
# Runs a Windows executable of the build under Wine in the build tree's private prefix.
#   wine-exec.sh BUILD_DIR PROGRAM.exe [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$1"
shift
# Wine starts helper processes (services, the desktop) that live on after the program and inherit
# its output: the output goes through a file, so that whoever reads ours sees it end with the program.
out=$(mktemp)
trap 'rm -f "$out"' EXIT
"${zandrel_port_lock[@]}" wine "$@" </dev/null >"$out" 2>&1
status=$?
cat "$out"
exit $status
