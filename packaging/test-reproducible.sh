#!/usr/bin/env bash
# The release as a second builder gets it: dist once more in a fresh build tree at another depth, under
# another time zone and umask, minutes later; every artifact must be the same bytes as this tree's. Then
# the bill of materials against the packaged programs, the notices in both packages against what the
# programs link, and the notices step refusing a linked file or component that it has no notice for.
#   test-reproducible.sh BUILD_DIR VERSION PYTHON CXX_COMPILER
set -uo pipefail
build=$(cd "$1" && pwd)
version=$2
python=$3
compiler=$4
here=$(cd "$(dirname "$0")" && pwd)
base=Zandrel-$version-win64

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }

echo "== dist in this tree"
cmake --build "$build" --target dist >/dev/null || { echo "FAIL: cmake --build $build --target dist"; exit 1; }

echo "== dist in a second tree: deeper, TZ=Pacific/Kiritimati (UTC+14), umask 077, only the programs and dist"
second=$build/packaging/reproducible/one/more/level/tree
rm -rf "$build/packaging/reproducible"
mkdir -p "$second"
settings=()
for name in CMAKE_BUILD_TYPE CMAKE_TOOLCHAIN_FILE ZANDREL_VERSION ZANDREL_SIGN_PKCS12 ZANDREL_SIGN_PASSWORD_FILE \
  ZANDREL_SIGN_TIMESTAMP_URL ZANDREL_SIGN_OPTIONS ZANDREL_SIGN_CAFILE; do
  settings+=("-D$name=$(cache "$name")")
done
(
  umask 077
  export TZ=Pacific/Kiritimati
  cmake -S "$(cache CMAKE_HOME_DIRECTORY)" -B "$second" -G "$(cache CMAKE_GENERATOR)" "${settings[@]}" &&
    cmake --build "$second" --target dist
) >"$build/packaging/reproducible/build.log" 2>&1 ||
  { tail -n 30 "$build/packaging/reproducible/build.log"; echo "FAIL: the second tree's dist"; exit 1; }

for file in dist/$base.zip dist/$base.msi dist/$base.spdx.json siftwell/Siftwell.exe gaugewell/Gaugewell.exe \
  launcher/Zandrel.exe packaging/dist/THIRD-PARTY-NOTICES.txt; do
  cmp -s "$build/$file" "$second/$file" || fail "$file differs between the two trees"
done

echo "== one date: the programs' PE time stamps, the ZIP's entries, the MSI's summary"
epoch=$(cat "$build/source-date-epoch.txt")
"$python" - "$epoch" "$build/dist/$base.zip" "$build"/{siftwell/Siftwell,gaugewell/Gaugewell,launcher/Zandrel}.exe <<'EOF' ||
import struct, sys, time, zipfile
epoch, archive, programs = int(sys.argv[1]), sys.argv[2], sys.argv[3:]
bad = []
for program in programs:
    data = open(program, "rb").read()
    stamp = struct.unpack_from("<I", data, struct.unpack_from("<I", data, 0x3C)[0] + 8)[0]
    if stamp != epoch:
        bad.append("%s: PE time stamp %d" % (program, stamp))
dos = time.gmtime(epoch - epoch % 2)[:6]
bad += ["%s: %s" % (i.filename, i.date_time) for i in zipfile.ZipFile(archive).infolist() if i.date_time != dos]
print("\n".join(bad))
sys.exit(1 if bad else 0)
EOF
  fail "a time stamp that is not the release's date ($epoch)"
created=$(TZ=UTC date -d "@$epoch" '+%a %b %e %H:%M:%S %Y')
[ "$(msiinfo suminfo "$build/dist/$base.msi" | grep -c "^\(Created\|Last saved\): $created\$")" = 2 ] ||
  fail "MSI summary dates: $(msiinfo suminfo "$build/dist/$base.msi" | grep -i 'created\|saved')"

echo "== the bill of materials against the packaged programs; the notices in both packages"
check=$build/packaging/reproducible/check
mkdir -p "$check/msi"
cmake -E chdir "$check" cmake -E tar xf "$build/dist/$base.zip"
(cd "$check/msi" && msiextract "$build/dist/$base.msi" >/dev/null) || fail "msiextract"
sbom_hashes=$("$python" -c '
import json, sys
for f in json.load(open(sys.argv[1]))["files"]:
    print(f["fileName"].split("/")[-1], next(c["checksumValue"] for c in f["checksums"] if c["algorithm"] == "SHA256"))
' "$build/dist/$base.spdx.json" | sort)
for exe in Siftwell.exe Gaugewell.exe Zandrel.exe; do
  installed=$(find "$check/msi" -name "$exe")
  zipped=$(sha256sum <"$check/Zandrel/$exe" | cut -d' ' -f1)
  grep -qx "$exe $zipped" <<<"$sbom_hashes" || fail "$exe: the SBOM's SHA-256 is not the ZIP's copy's"
  [ -n "$installed" ] && cmp -s "$installed" "$check/Zandrel/$exe" || fail "$exe: the MSI's copy is not the ZIP's"
done
notices=$(find "$check/msi" -name THIRD-PARTY-NOTICES.txt)
[ -n "$notices" ] && cmp -s "$notices" "$check/Zandrel/THIRD-PARTY-NOTICES.txt" ||
  fail "THIRD-PARTY-NOTICES.txt is not the same in both packages"
# Each component that a program links: in the SBOM with a version and a licence, and its notice's
# words in the notices. What the programs link here: GCC's runtime, winpthreads, the mingw-w64 runtime.
while IFS='|' read -r component licence words; do
  "$python" -c '
import json, sys
packages = {p["name"]: p for p in json.load(open(sys.argv[1]))["packages"]}
p = packages.get(sys.argv[2])
sys.exit(0 if p and p["versionInfo"][:1].isdigit() and p["licenseConcluded"] == sys.argv[3] else 1)
' "$build/dist/$base.spdx.json" "$component" "$licence" || fail "$component: not in the SBOM as $licence"
  grep -q "^$component.*($licence), in " "$check/Zandrel/THIRD-PARTY-NOTICES.txt" &&
    tr -d '\r' <"$check/Zandrel/THIRD-PARTY-NOTICES.txt" | tr -s ' \n' '  ' | grep -qF "$words" ||
    fail "$component: no notice ($words)"
done <<'EOF'
libstdc++|GPL-3.0-or-later WITH GCC-exception-3.1|GCC Runtime Library Exception
libgcc|GPL-3.0-or-later WITH GCC-exception-3.1|GCC Runtime Library Exception
libssp|GPL-3.0-or-later WITH GCC-exception-3.1|GCC Runtime Library Exception
fast_float|Apache-2.0 OR MIT|Copyright (c) 2021 The fast_float authors
winpthreads|MIT AND BSD-3-Clause|Copyright 2010 Lockless Inc.
gdtoa|LicenseRef-Lucent AND LicenseRef-David-M-Gay|Copyright 2004, 2005 David M. Gay
mingw-w64 runtime|ZPL-2.1|Redistributions in binary form must reproduce the accompanying copyright notice
EOF

echo "== a linked file or component without a notice fails"
gcc_lib=$(dirname "$("$compiler" -print-libgcc-file-name)")
while IFS='|' read -r linked expected; do
  cp "$build/siftwell/Siftwell.map" "$check/doctored.map"
  sed -i "/^Archive member included/a $linked\\n                              Main.cpp.obj (symbol)" "$check/doctored.map"
  if "$python" "$here/release.py" notices --epoch-file "$build/source-date-epoch.txt" --product Zandrel \
    --version "$version" --url http://zandrel.example/ --compiler "$compiler" --build-dir "$build" \
    --program Siftwell.exe "$check/doctored.map" "$build/siftwell/Siftwell.exe" --notices "$check/notices.txt" \
    --sbom "$check/sbom.json" >"$check/doctored.log" 2>&1; then
    fail "$linked: the notices were written"
  else
    grep -qF "$expected" "$check/doctored.log" || fail "$linked: $(cat "$check/doctored.log")"
  fi
done <<EOF
$gcc_lib/libstdc++.a(floating_to_chars.o)|links Ryu
/usr/x86_64-w64-mingw32/../lib/libvendor.a(vendor.o)|which no component of the notices claims
EOF

if [ "$failures" -ne 0 ]; then
  echo "$failures failures; the second tree is $second"
  exit 1
fi
rm -rf "$build/packaging/reproducible"
echo "reproducible: all checks passed"
