#!/usr/bin/env bash
# Starts or stops the Wine session of a test run: a fresh private prefix in the build tree, a virtual
# display for the windowed programs, and one persistent wineserver for the whole run.
#   wine-session.sh start BUILD_DIR    (ZANDREL_KEEP_WINEPREFIX=1 reuses an existing prefix)
#   wine-session.sh stop BUILD_DIR
set -euo pipefail
action=$1
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=wine-env.sh
source "$here/wine-env.sh" "$2"

stop_display() {
  if [ -f "$zandrel_build_dir/wine-xvfb.pid" ]; then
    kill "$(cat "$zandrel_build_dir/wine-xvfb.pid")" 2>/dev/null || true
    rm -f "$zandrel_build_dir/wine-xvfb.pid" "$zandrel_build_dir/wine-display"
  fi
}

case "$action" in
start)
  wineserver -k 2>/dev/null || true
  stop_display
  unset DISPLAY
  # A display of our own, so that windows, tray icons and menus exist even on a machine without X.
  for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
      setsid Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
      echo $! >"$zandrel_build_dir/wine-xvfb.pid"
      for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
      echo ":$n" >"$zandrel_build_dir/wine-display"
      export DISPLAY=":$n"
      break
    fi
  done
  if [ "${ZANDREL_KEEP_WINEPREFIX:-0}" != 1 ] || [ ! -f "$WINEPREFIX/system.reg" ]; then
    rm -rf "$WINEPREFIX"
    wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
  # Nothing that outlives this script may keep its output open, or the test runner waits for it.
  wineserver -p </dev/null >/dev/null 2>&1
  # Start Wine's services now, so that the first test does not pay for it.
  wine cmd /c exit </dev/null >/dev/null 2>&1
  echo "wine session: prefix $WINEPREFIX, display ${DISPLAY:-none}"
  ;;
stop)
  wineserver -k 2>/dev/null || true
  stop_display
  ;;
*)
  echo "usage: $0 start|stop BUILD_DIR" >&2
  exit 2
  ;;
esac
