#!/usr/bin/env bash
# Runs a Windows executable of the build under Wine in the build tree's private prefix.
#   wine-exec.sh BUILD_DIR PROGRAM.exe [ARGS...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$1"
shift
exec wine "$@"
