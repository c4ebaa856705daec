# Sourced by the Wine scripts: the environment of the private test prefix of one build tree.
# Usage: source wine-env.sh BUILD_DIR
zandrel_build_dir=$(cd "$1" && pwd)
export WINEPREFIX="$zandrel_build_dir/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko: their install prompts would stall an unattended prefix creation. A test may add
# load orders of its own in ZANDREL_WINEDLLOVERRIDES (Windows' native-first order for a DLL, say).
export WINEDLLOVERRIDES="mscoree=;mshtml=${ZANDREL_WINEDLLOVERRIDES:+;$ZANDREL_WINEDLLOVERRIDES}"
# Dates and number grouping of the programs follow the locale: keep it fixed for the tests. A test
# that runs in a locale of its own names it in ZANDREL_WINE_LOCALE ("LC_ALL=ja_JP.UTF-8", or a split
# "LANG=de_CH.UTF-8 LC_CTYPE=ja_JP.UTF-8"), the Linux locale coming from the build tree.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
if [ -n "${ZANDREL_WINE_LOCALE:-}" ]; then
  unset LC_ALL
  export LOCPATH="$zandrel_build_dir/locales"
  # shellcheck disable=SC2086  # the assignments are words of their own
  export ${ZANDREL_WINE_LOCALE}
fi
# The stand-in server's port (1272) is one for the whole machine, whatever the prefix: the runs that
# start it (ZANDREL_PORT_LOCK=1 from CTest) take turns through this lock, across build trees. The lock's
# descriptor is closed for the program, so that no Wine process that outlives it holds the lock.
zandrel_port_lock=()
if [ "${ZANDREL_PORT_LOCK:-0}" = 1 ]; then
  zandrel_port_lock=(flock -o -w 1500 /tmp/zandrel-port-1272.lock)
fi
if [ -f "$zandrel_build_dir/wine-display" ]; then
  DISPLAY=$(cat "$zandrel_build_dir/wine-display")
  export DISPLAY
fi
