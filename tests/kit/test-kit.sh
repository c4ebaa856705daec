#!/usr/bin/env bash
# The test kit as a Windows tester meets it, under Wine: dist_tests built, the ZIP unpacked into a fresh
# folder, run-tests.cmd run by Wine's cmd in a fresh prefix with a display of its own. Requires the
# closing line with no failure, the same sums as the suites' XML, and a reason for every skip (under
# Wine, the rows of windows_tests skip with one that begins "needs Windows").
#   test-kit.sh BUILD_DIR VERSION PYTHON    (ZANDREL_KEEP_KIT=1 keeps the unpacked kit and its results)
set -uo pipefail
build=$(cd "$1" && pwd)
version=$2
python=$3
here=$(cd "$(dirname "$0")" && pwd)
scripts=$here/../../scripts

built=$(cmake --build "$build" --target dist_tests) || { echo "$built"; echo "FAIL: cmake --build --target dist_tests"; exit 1; }
zip=$build/dist/Zandrel-$version-win64-tests.zip

work=$(mktemp -d "${TMPDIR:-/tmp}/zandrel-kit.XXXXXX")
cleanup() {
  bash "$scripts/wine-session.sh" stop "$work" >/dev/null 2>&1
  if [ "${ZANDREL_KEEP_KIT:-0}" = 1 ]; then
    echo "kit kept in $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
mkdir "$work/unpacked"
(cd "$work/unpacked" && cmake -E tar xf "$zip") || { echo "FAIL: cannot unpack $zip"; exit 1; }
kit=$work/unpacked/Zandrel-$version-win64-tests
[ -f "$kit/run-tests.cmd" ] || { echo "FAIL: no run-tests.cmd in $kit"; exit 1; }

# A fresh prefix and display in the scratch folder; Windows' search order for MPR.dll, as CTest gives
# the end-to-end suite (a planted MPR.dll must be one that Wine would load).
export ZANDREL_WINEDLLOVERRIDES=mpr=n,b ZANDREL_PORT_LOCK=1
unset ZANDREL_WINE_LOCALE ZANDREL_KEEP_WINEPREFIX
bash "$scripts/wine-session.sh" start "$work" || { echo "FAIL: no Wine session"; exit 1; }
# shellcheck source=../../scripts/wine-env.sh
source "$scripts/wine-env.sh" "$work"
started=$(date +%s)
# Wine's own notes go to standard error, apart from what run-tests.cmd prints.
(cd "$kit" && "${zandrel_port_lock[@]}" wine cmd /c run-tests.cmd </dev/null >"$work/output" 2>"$work/wine-notes")
status=$?
echo "run-tests.cmd: status $status after $(($(date +%s) - started)) s"
tr -d '\r' <"$work/output" | grep -v '^running ' | tail -n 40

"$python" - "$kit/results" "$work/output" "$status" <<'PY'
import glob, os, re, sys
import xml.etree.ElementTree as ET

results, output, status = sys.argv[1], sys.argv[2], int(sys.argv[3])
problems = []
lines = [l for l in open(output, encoding="utf-8", errors="replace").read().replace("\r", "").split("\n") if l]
closing = re.fullmatch(r"(\d+) passed, (\d+) failed, (\d+) skipped", lines[-1] if lines else "")
if not closing:
    problems.append("no closing line: %r" % (lines[-1:] or ""))
passed = failed = skipped = 0
suites = sorted(glob.glob(os.path.join(results, "*.xml")))
if not suites:
    problems.append("no results/*.xml")
for path in suites:
    suite = os.path.basename(path)[:-4]
    for case in ET.parse(path).getroot().iter("testcase"):
        if case.get("status") != "run":
            continue
        name = "%s %s.%s" % (suite, case.get("classname"), case.get("name"))
        if case.find("failure") is not None:
            failed += 1
            messages = "; ".join(f.get("message", "").replace("\n", " ")[:300] for f in case.findall("failure"))
            problems.append("failed: %s: %s" % (name, messages))
        elif case.find("skipped") is not None:
            skipped += 1
            reason = case.find("skipped").get("message", "").split("\n", 1)[-1].strip()
            if not reason:
                problems.append("skipped without a reason: " + name)
            elif suite == "windows_tests" and not reason.startswith("needs Windows"):
                problems.append("skipped under Wine not for Windows: %s (%s)" % (name, reason))
        else:
            passed += 1
if closing:
    said = tuple(int(n) for n in closing.groups())
    if said[1] != 0:
        problems.append("the closing line counts failures: " + lines[-1])
    if said != (passed, failed, skipped):
        problems.append("closing line %s, the XML %d passed, %d failed, %d skipped" % (lines[-1], passed, failed, skipped))
if status != 0:
    problems.append("run-tests.cmd ended with status %d" % status)
if not any(os.path.basename(p) == "windows_tests.xml" for p in suites):
    problems.append("no results of windows_tests")
for problem in problems:
    print("FAIL: " + problem)
print("kit: %d suites, %d passed, %d failed, %d skipped" % (len(suites), passed, failed, skipped))
sys.exit(1 if problems else 0)
PY
