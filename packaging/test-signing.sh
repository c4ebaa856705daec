#!/usr/bin/env bash
# A signed release as an administrator checks it: a throw-away CA, code-signing and time-stamping
# certificate, the packages signed with them (target dist_signing_test: the dist rules, from the programs
# already built, the root given as ZANDREL_SIGN_CAFILE), then every program in the ZIP and in the MSI, and
# the MSI itself, verified against that CA; a changed byte fails; the signed MSI installs under Wine's
# msiexec, its probes run, and it uninstalls. As an auditor compares it: each program without its signature
# is the unsigned build's, and the MSI's signature attached to the unsigned MSI gives the signed MSI.
# Without the root in ZANDREL_SIGN_CAFILE the signing fails, although the PKCS#12 file carries it.
#   test-signing.sh BUILD_DIR VERSION SIGNING_DIR SIGN_SCRIPT EPOCH_FILE UNSIGNED_PROGRAMS...
#   (the target expects its certificates in SIGNING_DIR/pki)
set -uo pipefail
build=$(cd "$1" && pwd)
version=$2
work=$3
sign_script=$4
epoch_file=$5
shift 5
unsigned_programs=("$@")
here=$(cd "$(dirname "$0")" && pwd)

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

echo "== throw-away certificates"
pki=$work/pki
rm -rf "$pki" "$work/check"
mkdir -p "$pki" "$work/check"
cat >"$pki/openssl.cnf" <<'EOF'
[req]
distinguished_name = dn
[dn]
[root]
basicConstraints = critical, CA:TRUE
keyUsage = critical, keyCertSign, cRLSign
subjectKeyIdentifier = hash
[code]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = codeSigning
authorityKeyIdentifier = keyid
[tsa]
basicConstraints = CA:FALSE
keyUsage = critical, digitalSignature
extendedKeyUsage = critical, timeStamping
authorityKeyIdentifier = keyid
EOF
(
  set -e
  cd "$pki"
  openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -subj "/CN=Zandrel Test Root" -days 2 \
    -config openssl.cnf -extensions root -out ca.pem
  for role in code tsa; do
    openssl req -newkey rsa:2048 -nodes -keyout "$role.key" -subj "/CN=Zandrel Test $role" -config openssl.cnf \
      -out "$role.csr"
    openssl x509 -req -in "$role.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 1 -extfile openssl.cnf \
      -extensions "$role" -out "$role.pem"
  done
  # As an administrator keeps it: the password in a file of its own, with a line end.
  printf 'throw-away password\n' >password
  openssl pkcs12 -export -inkey code.key -in code.pem -certfile ca.pem -passout file:password -out code.p12
  cat tsa.pem ca.pem >tsa-chain.pem
) >"$work/check/pki.log" 2>&1 || { cat "$work/check/pki.log"; echo "FAIL: openssl"; exit 1; }

cmake --build "$build" --target dist_signing_test >"$work/check/build.log" 2>&1 ||
  { cat "$work/check/build.log"; echo "FAIL: cmake --build --target dist_signing_test"; exit 1; }
zip=$work/dist/Zandrel-$version-win64.zip
msi=$work/dist/Zandrel-$version-win64.msi

verify() { # verify FILE: the osslsigncode verify output in FILE.verify; status as osslsigncode's
  osslsigncode verify -CAfile "$pki/ca.pem" -TSA-CAfile "$pki/ca.pem" -in "$1" >"$1.verify" 2>&1
}
signed() { # signed FILE DESCRIPTION: verifies, time-stamped, with its description and the product's address
  local file=$1 description=$2 name=${1#"$work/check/"}
  if ! verify "$file"; then
    fail "$name does not verify: $(tail -n 3 "$file.verify" | tr '\n' ' ')"
    return
  fi
  grep -q 'Message digest algorithm *: SHA256' "$file.verify" || fail "$name: not SHA-256"
  grep -q 'Timestamp Server Signature verification: ok' "$file.verify" || fail "$name: no valid time stamp"
  grep -qxF "	Text description: $description" "$file.verify" || fail "$name: description"
  grep -qxF '	URL description: http://zandrel.example/' "$file.verify" || fail "$name: address"
}
declare -A descriptions=([Siftwell.exe]="Zandrel event capture probe" [Gaugewell.exe]="Zandrel resource probe"
  [Zandrel.exe]="Zandrel launcher")

echo "== the programs in the ZIP and in the MSI, and the MSI"
cmake -E chdir "$work/check" cmake -E tar xf "$zip"
(cd "$work/check" && mkdir msi && cd msi && msiextract "$msi" >/dev/null) || fail "msiextract"
for exe in "${!descriptions[@]}"; do
  signed "$work/check/Zandrel/$exe" "${descriptions[$exe]}"
  installed=$(find "$work/check/msi" -name "$exe")
  if [ -n "$installed" ]; then signed "$installed" "${descriptions[$exe]}"; else fail "no $exe in the MSI"; fi
done
cp "$msi" "$work/check/"
signed "$work/check/${msi##*/}" "Zandrel $version"
grep -q 'Current MsiDigitalSignatureEx' "$work/check/${msi##*/}.verify" || fail "the MSI has no MsiDigitalSignatureEx"

echo "== the programs without their signatures, the MSI's signature on the unsigned MSI"
for program in "${unsigned_programs[@]}"; do
  exe=${program##*/}
  osslsigncode remove-signature -in "$work/check/Zandrel/$exe" -out "$work/check/$exe.unsigned" >/dev/null 2>&1
  cmp -s "$work/check/$exe.unsigned" "$program" || fail "$exe without its signature is not the unsigned build"
done
cmake --build "$build" --target dist_signing_test_unsigned_msi >"$work/check/unsigned-msi.log" 2>&1 ||
  fail "cmake --build --target dist_signing_test_unsigned_msi: $(tail -n 5 "$work/check/unsigned-msi.log")"
osslsigncode extract-signature -in "$msi" -out "$work/check/msi.p7" >/dev/null 2>&1 &&
  osslsigncode attach-signature -add-msi-dse -sigin "$work/check/msi.p7" -CAfile "$pki/ca.pem" \
    -TSA-CAfile "$pki/ca.pem" -in "$work/dist/unsigned/${msi##*/}" -out "$work/check/attached.msi" >/dev/null 2>&1 ||
  fail "extract-signature, attach-signature"
cmp -s "$work/check/attached.msi" "$msi" || fail "the MSI's signature on the unsigned MSI does not give the signed MSI"

echo "== signed twice without a time stamp; a root that only the PKCS#12 file vouches for"
sign() { # sign SETTINGS OUT: sign.cmake as dist runs it, on the unsigned Siftwell.exe
  cmake -DSETTINGS="$work/$1" -DIN="${unsigned_programs[0]}" -DOUT="$work/check/$2" -DEPOCH_FILE="$epoch_file" \
    -DDESCRIPTION="Zandrel event capture probe" -P "$sign_script" >"$work/check/$2.log" 2>&1
}
sign sign-settings-plain.cmake first.exe && sign sign-settings-plain.cmake second.exe &&
  cmp -s "$work/check/first.exe" "$work/check/second.exe" || fail "two signings without a time stamp differ"
if sign sign-settings-untrusted.cmake untrusted.exe; then
  fail "a certificate whose root only its PKCS#12 file carries was accepted"
else
  tr -s ' \n' '  ' <"$work/check/untrusted.exe.log" | grep -q "give that root's certificate (PEM) in ZANDREL_SIGN_CAFILE" ||
    fail "no hint at ZANDREL_SIGN_CAFILE: $(cat "$work/check/untrusted.exe.log")"
  [ ! -e "$work/check/untrusted.exe" ] || fail "an untrusted signed program was written"
fi

echo "== one changed byte"
tampered=$work/check/tampered.exe
cp "$work/check/Zandrel/Siftwell.exe" "$tampered"
offset=$(($(stat -c %s "$tampered") / 2)) # in the program's code or data, which the signature covers
byte=$(od -An -tu1 -j "$offset" -N1 "$tampered" | tr -d ' ')
printf '%b' "\\0$(printf '%03o' $(((byte + 1) % 256)))" | dd of="$tampered" bs=1 seek="$offset" conv=notrunc 2>/dev/null
if verify "$tampered"; then
  fail "a program with one changed byte still verifies"
else
  grep -q MISMATCH "$tampered.verify" || fail "changed program: no digest mismatch reported"
fi

echo "== the signed MSI under Wine's msiexec"
# shellcheck source=scripts/wine-env.sh
source "$here/../scripts/wine-env.sh" "$build"
export WINEPREFIX=$work/wineprefix
rm -rf "$WINEPREFIX"
trap 'wineserver -k 2>/dev/null' EXIT
wineboot -i </dev/null >/dev/null 2>&1
wineserver -w
wineserver -p </dev/null >/dev/null 2>&1
winpath() { echo "Z:${1//\//\\}"; }
dir="$WINEPREFIX/drive_c/Program Files/Zandrel"
wine msiexec /i "$(winpath "$msi")" /qn /l*v "$(winpath "$work/check/install.log")" </dev/null >/dev/null 2>&1 ||
  fail "install"
for exe in "${!descriptions[@]}"; do
  cmp -s "$dir/$exe" "$work/check/Zandrel/$exe" || fail "installed $exe is not the signed copy"
done
for exe in Siftwell.exe Gaugewell.exe; do
  (cd "$dir" && wine "./$exe" </dev/null >/dev/null 2>&1) || fail "installed $exe exit status $?"
done
grep -qx 'OK\.' <(tr -d '\r' <"$dir/event.log" 2>/dev/null) || fail "event.log"
grep -q '^Free Memory=' "$dir/Gaugewell.log" 2>/dev/null || fail "Gaugewell.log"
wine msiexec /x "$(winpath "$msi")" /qn /l*v "$(winpath "$work/check/uninstall.log")" </dev/null >/dev/null 2>&1 ||
  fail "uninstall"
for exe in "${!descriptions[@]}"; do [ ! -e "$dir/$exe" ] || fail "$exe left after the uninstall"; done

if [ "$failures" -ne 0 ]; then
  echo "$failures failures; outputs in $work/check"
  exit 1
fi
rm -rf "$WINEPREFIX"
echo "signing: all checks passed"
