#!/usr/bin/env bash
# Runs a test program under Wine with a small drive that really fills up: a tmpfs mounted in a
# scratch folder of the build tree and linked as drive M: of the test prefix. Mounting needs root
# (CI runs as root); where it is refused the test fails, it is not skipped.
#   full-drive.sh BUILD_DIR SIZE PROGRAM.exe [ARGS...]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$1 size=$2
shift 2
# shellcheck source=../../scripts/wine-env.sh
source "$here/../../scripts/wine-env.sh" "$build"
drive="$WINEPREFIX/dosdevices/m:"
if [ -e "$drive" ] || [ -L "$drive" ]; then
  echo "full-drive: drive M: of $WINEPREFIX is taken already" >&2
  exit 1
fi
scratch=$(mktemp -d "$zandrel_build_dir/full-drive.XXXXXX")
cleanup() {
  rm -f "$drive"
  umount "$scratch/drive" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
mkdir "$scratch/drive"
if ! mount -t tmpfs -o "size=$size,mode=0777" tmpfs "$scratch/drive"; then
  echo "full-drive: cannot mount a tmpfs (run as root): the full-drive tests did not run" >&2
  exit 1
fi
ln -s "$scratch/drive" "$drive"
ZANDREL_FULL_DRIVE='M:' bash "$here/../../scripts/wine-exec.sh" "$build" "$@"
