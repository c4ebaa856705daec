#!/usr/bin/env bash
# The packages as an administrator meets them: the ZIP's file list, then the MSI under Wine's msiexec in a
# fresh prefix of its own: silent install, both probes run from the installed folder, repair, a newer
# release over it, the older one refused, uninstall, and an install into another folder.
#   test-packages.sh BUILD_DIR VERSION BUILD_MSI_SCRIPT -- DEFINES...
# BUILD_MSI_SCRIPT with DEFINES builds the same package with another -DVERSION= and -DOUTPUT=.
set -uo pipefail
build=$(cd "$1" && pwd)
version=$2
build_msi_script=$3
shift 4
build_msi_defines=("$@")
here=$(cd "$(dirname "$0")" && pwd)

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
check() { # check DESCRIPTION COMMAND...
  local what=$1
  shift
  "$@" || fail "$what"
}

# The packages are not part of the default build: bring them up to date first.
built=$(cmake --build "$build" --target dist) || { echo "$built"; echo "FAIL: cmake --build --target dist"; exit 1; }
dist=$build/dist
zip=$dist/Zandrel-$version-win64.zip
msi=$dist/Zandrel-$version-win64.msi
# Without a certificate the build says once that it does not sign.
if grep -q '^ZANDREL_SIGN_PKCS12:FILEPATH=$' "$build/CMakeCache.txt"; then
  [ "$(grep -c 'the packages are not signed' <<<"$built")" = 1 ] || fail "no single note on the unsigned build: $built"
fi

# The package's own permissions, whatever folder it goes to (Wine's installer does not apply them: the
# rows are checked here). The folder protected, its later files for SYSTEM, Administrators and their
# creator; Users read and run the programs; the settings files, which may hold a password, for no Users.
table() { msiinfo export "$msi" "$1" | tr -d '\r' | tail -n +4 | LC_ALL=C sort; }
folder='D:PAI(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;;0x1200a9;;;BU)(A;OICIIO;FA;;;CO)'
program='D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)'
settings='D:PAI(A;;FA;;;SY)(A;;FA;;;BA)'
expected_locks=$(LC_ALL=C sort <<EOF
EventConf	event.conf	File	$settings	
GaugewellExe	Gaugewell.exe	File	$program	
InstallFolder	INSTALLDIR	CreateFolder	$folder	
MemoryConf	memory.conf	File	$settings	
NoticesTxt	THIRD_PARTY_NOTICES.txt	File	D:PAI(A;;FA;;;SY)(A;;FA;;;BA)(A;;FR;;;BU)	
SiftwellExe	Siftwell.exe	File	$program	
ZandrelExe	Zandrel.exe	File	$program	
EOF
)
[ "$(table MsiLockPermissionsEx)" = "$expected_locks" ] || fail "MsiLockPermissionsEx: $(table MsiLockPermissionsEx)"
[ "$(table CreateFolder)" = "$(printf 'INSTALLDIR\tZandrel')" ] || fail "CreateFolder: $(table CreateFolder)"
for action in CreateFolders RemoveFolders; do
  table InstallExecuteSequence | grep -q "^$action	" || fail "no $action in InstallExecuteSequence"
done
# The programs with the version they carry, which a repair compares; no hash rows for them.
for exe in Siftwell.exe Gaugewell.exe Zandrel.exe; do
  table File | awk -F'\t' -v f="$exe" -v v="$version.0" '$1 == f && $5 == v { found = 1 } END { exit !found }' ||
    fail "$exe: File row $(table File | grep "^$exe")"
  table MsiFileHash | grep -q "^$exe	" && fail "$exe has an MsiFileHash row"
done

# The ZIP: the six files and the readme in one folder, nothing else (no stand-in server, no tests).
expected="Zandrel/ Zandrel/Gaugewell.exe Zandrel/README.txt Zandrel/Siftwell.exe Zandrel/THIRD-PARTY-NOTICES.txt Zandrel/Zandrel.exe Zandrel/event.conf Zandrel/memory.conf "
listed=$(cmake -E tar tf "$zip" | LC_ALL=C sort | tr '\n' ' ')
[ "$listed" = "$expected" ] || fail "ZIP holds: $listed"

# A newer release of the same package, as the next version would build it.
work=$build/packaging/test
rm -rf "$work"
mkdir -p "$work"
IFS=. read -r major minor patch <<<"$version"
newer_version=$major.$minor.$((patch + 1))
newer=$work/Zandrel-$newer_version-win64.msi
cmake "${build_msi_defines[@]}" -DVERSION="$newer_version" -DOUTPUT="$newer" -P "$build_msi_script" >/dev/null ||
  { echo "FAIL: building $newer_version"; exit 1; }

# shellcheck source=scripts/wine-env.sh
source "$here/../scripts/wine-env.sh" "$build"
export WINEPREFIX=$work/wineprefix
trap 'wineserver -k 2>/dev/null' EXIT
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1

winpath() { echo "Z:${1//\//\\}"; }
msiexec() { # msiexec LOG ARGS...: the installer's exit status; its log in $work/LOG
  local log=$1
  shift
  wine msiexec "$@" /qn /l*v "$(winpath "$work/$log")" </dev/null >/dev/null 2>&1
}
drive_c=$WINEPREFIX/drive_c
dir="$drive_c/Program Files/Zandrel"
shortcut="$drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Zandrel.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall'
programs=(Siftwell.exe Gaugewell.exe Zandrel.exe)
settings=(event.conf memory.conf)

entries() { # the uninstall entries of the product, one "VALUE=DATA ..." line each
  wine reg query "$uninstall_key" /s 2>/dev/null | tr -d '\r' | awk '
    /^HKEY_/ { if (zandrel) print line; line = ""; zandrel = 0; next }
    $1 ~ /^(DisplayName|DisplayVersion|Publisher|DisplayIcon)$/ {
      value = $0; sub(/^ *[A-Za-z]+ +REG_[A-Z_]+ +/, "", value)
      if ($1 == "DisplayName" && value == "Zandrel") zandrel = 1
      line = line $1 "=" value " "
    }
    END { if (zandrel) print line }'
}
installed() { # installed VERSION: files, shortcut and exactly one entry of that release
  local v=$1 f
  for f in "${programs[@]}" "${settings[@]}" THIRD-PARTY-NOTICES.txt; do check "$v: $f installed" test -f "$dir/$f"; done
  check "$v: no stand-in server installed" test ! -e "$dir/zandrel-server.exe"
  check "$v: Start menu shortcut" test -f "$shortcut"
  local e
  e=$(entries)
  [[ $(grep -c . <<<"$e") == 1 && $e == *"DisplayVersion=$v "* && $e == *"Publisher=Zandrel "* &&
    $e == *'DisplayIcon=C:\Program Files\Zandrel\Zandrel.exe,0 '* ]] || fail "$v: uninstall entries: $e"
}
kept() { # the administrator's settings and the results outlive every step
  local f
  for f in "${settings[@]}"; do check "$1: edited $f kept" grep -q '^Edited=by the administrator' "$dir/$f"; done
  check "$1: event.log kept" grep -q 'OK\.' "$dir/event.log"
  check "$1: Gaugewell.log kept" grep -q 'Zandrel data capture completed' "$dir/Gaugewell.log"
}

echo "== install $version"
check "install $version" msiexec install.log /i "$(winpath "$msi")"
installed "$version"
# The launcher starts the server beside it: the shortcut starts it in its folder.
strings -e l "$shortcut" | grep -qxF "C:\\Program Files\\Zandrel\\" || fail "shortcut's working directory"

echo "== both probes from the installed folder"
for exe in Siftwell.exe Gaugewell.exe; do
  (cd "$dir" && wine "./$exe" </dev/null >/dev/null 2>&1) || fail "$exe exit status $?"
done
grep -qx 'OK\.' <(tr -d '\r' <"$dir/event.log") || fail "event.log: $(cat "$dir/event.log")"
grep -q '^Free Memory=' "$dir/Gaugewell.log" || fail "Gaugewell.log: $(cat "$dir/Gaugewell.log")"
for f in "${settings[@]}"; do printf 'Edited=by the administrator\r\n' >>"$dir/$f"; done

echo "== repair brings back a deleted program"
rm -f "$dir/Siftwell.exe"
check "repair" msiexec repair.log /i "$(winpath "$msi")" REINSTALL=ALL REINSTALLMODE=amus
installed "$version"
kept repair

echo "== newer release $newer_version over $version"
check "upgrade" msiexec upgrade.log /i "$(winpath "$newer")"
installed "$newer_version"
kept upgrade

echo "== older release $version over $newer_version is refused"
msiexec downgrade.log /i "$(winpath "$msi")" && fail "the older release installed over the newer"
# Wine's installer does not log a failed launch condition's text; Windows shows it: check that it is there.
msiinfo export "$msi" LaunchCondition | grep -q 'NOT WIX_DOWNGRADE_DETECTED.A newer version of Zandrel is already installed' ||
  fail "no refusal message in the package"
installed "$newer_version"

echo "== uninstall"
check "uninstall" msiexec uninstall.log /x "$(winpath "$newer")"
for f in "${programs[@]}"; do check "$f removed" test ! -e "$dir/$f"; done
check "shortcut removed" test ! -e "$shortcut"
[ -z "$(entries)" ] || fail "uninstall entry left: $(entries)"
kept uninstall

echo "== install into INSTALLDIR, upgrade and uninstall there"
tools="$drive_c/Tools/Zandrel"
check "install with INSTALLDIR" msiexec installdir.log /i "$(winpath "$msi")" 'INSTALLDIR=C:\Tools\Zandrel'
# Neither the upgrade nor the uninstall is told the folder: the package remembers it.
check "upgrade in INSTALLDIR" msiexec installdir-upgrade.log /i "$(winpath "$newer")"
check "upgrade stays in INSTALLDIR" test -f "$tools/Zandrel.exe" -a ! -e "$dir/Zandrel.exe"
check "uninstall from INSTALLDIR" msiexec installdir-x.log /x "$(winpath "$newer")"
check "Zandrel.exe removed from INSTALLDIR" test ! -e "$tools/Zandrel.exe"

if [ "$failures" -ne 0 ]; then
  echo "$failures failures; installer logs in $work"
  exit 1
fi
echo "packages: all checks passed"
