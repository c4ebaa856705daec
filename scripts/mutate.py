#!/usr/bin/env python3
"""Mutation test: puts one small fault at a time into the given sources, rebuilds, runs the suite.

Each mutant is recorded as killed, survived, timeout or not-compiled in a results file (JSON lines),
so a stopped run goes on where it stopped. Files of a win32/ folder are built with the windows preset
and tested under Wine; every other file with the host preset and its suite.

    scripts/mutate.py --core --seed 1 --sample 300          # a sample of the portable core
    scripts/mutate.py --adapters --seed 1 --sample 150      # the Windows adapters, under Wine
    scripts/mutate.py common/TextCodec.cpp -R common_tests  # every mutant of one file, one test binary
    scripts/mutate.py --core --list                         # the candidates, nothing built
    scripts/mutate.py --score                               # the score of what the results file holds

A mutant of one program's win32/ folder is tested only by the tests that run that program
(--full-scope: by all of them), in the Wine prefix that the unmutated run made. With --shard K/N,
N trees share one sample: each runs its part, and --score over the joined results files tells all.

Ids are file:line:col:operator:replacement and stay the same as long as the file does. Mutants that
cannot change behaviour are listed in scripts/mutants-equivalent.txt (id, then a one-line reason);
the score leaves them out: (killed + timeout) / (total - equivalent - not-compiled).
"""

import argparse
import fcntl
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BACKUP_SUFFIX = ".mutate-orig"

CORE_DIRS = ["common", "common/posix", "siftwell/core", "gaugewell/core", "launcher/core"]
ADAPTER_DIRS = ["common/win32", "siftwell/win32", "gaugewell/win32", "launcher/win32"]

KEYWORDS = {
    "return", "co_return", "throw", "delete", "new", "sizeof", "static_assert", "if", "while", "for",
    "switch", "case", "do", "else", "goto", "using", "typedef", "alignof", "decltype", "template",
    "static_cast", "reinterpret_cast", "const_cast", "dynamic_cast", "operator", "default",
}


# ---------------------------------------------------------------------------------------------------
# Which characters are code: not comments, string or character literals, preprocessor lines.


def code_mask(text):
    n = len(text)
    mask = [True] * n
    i = 0
    line_start = True  # only whitespace since the last newline
    while i < n:
        c = text[i]
        if c == "\n":
            line_start = True
            i += 1
            continue
        if line_start and c == "#":
            j = i
            while j < n and text[j] != "\n":
                if text[j] == "\\" and j + 1 < n and text[j + 1] == "\n":
                    j += 2
                    continue
                if text.startswith("/*", j):  # a block comment on a directive line
                    end = text.find("*/", j + 2)
                    j = n if end < 0 else end + 2
                    continue
                j += 1
            for k in range(i, j):
                mask[k] = False
            i = j
            continue
        if not c.isspace():
            line_start = False
        if text.startswith("//", i):
            j = text.find("\n", i)
            j = n if j < 0 else j
            for k in range(i, j):
                mask[k] = False
            i = j
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            j = n if end < 0 else end + 2
            for k in range(i, j):
                mask[k] = False
            i = j
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^()\\ ]{0,16})\(', text[i:i + 24])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            close = ")" + raw.group(1) + '"'
            end = text.find(close, i + raw.end())
            j = n if end < 0 else end + len(close)
            for k in range(i, j):
                mask[k] = False
            i = j
            continue
        if c == '"' or c == "'":
            if c == "'" and i > 0 and _in_number(text, i):
                i += 1  # a digit separator: 1'000
                continue
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            j = min(j + 1, n)
            for m in range(i, j):
                mask[m] = False
            i = j
            continue
        i += 1
    return mask


def _in_number(text, i):
    j = i - 1
    while j >= 0 and (text[j].isalnum() or text[j] in "_'"):
        j -= 1
    return text[j + 1].isdigit() if j + 1 < i else False


# ---------------------------------------------------------------------------------------------------
# Mutants.


class Mutant:
    __slots__ = ("file", "start", "end", "op", "replacement", "text", "line", "col", "tag")

    def __init__(self, file, src, start, end, op, text, tag):
        self.file = file
        self.start = start
        self.end = end
        self.op = op
        self.text = text  # what replaces src[start:end]
        self.tag = tag  # the id's replacement part: short, no spaces or colons
        self.line = src.count("\n", 0, start) + 1
        self.col = start - (src.rfind("\n", 0, start) + 1) + 1

    @property
    def id(self):
        return f"{self.file}:{self.line}:{self.col}:{self.op}:{self.tag}"


def all_code(mask, start, end):
    return all(mask[start:end])


def matching(text, mask, open_at):
    """Index of the bracket closing the one at open_at, or -1."""
    pairs = {"(": ")", "[": "]", "{": "}"}
    opener = text[open_at]
    closer = pairs[opener]
    depth = 0
    for i in range(open_at, len(text)):
        if not mask[i]:
            continue
        if text[i] == opener:
            depth += 1
        elif text[i] == closer:
            depth -= 1
            if depth == 0:
                return i
    return -1


def prev_code(text, mask, i):
    """Index of the last code character before i that is not whitespace, or -1."""
    i -= 1
    while i >= 0 and (not mask[i] or text[i].isspace()):
        i -= 1
    return i


def block_kinds(text, mask):
    """For each '{' that opens a block of statements, its index -> True."""
    code_blocks = set()
    stack = []  # (index, is_code)
    for i, c in enumerate(text):
        if not mask[i]:
            continue
        if c == "{":
            parent = stack[-1][1] if stack else False
            p = prev_code(text, mask, i)
            before = text[max(0, p - 20):p + 1] if p >= 0 else ""
            word = re.search(r"(\w+)$", before)
            word = word.group(1) if word else ""
            if p >= 0 and text[p] in ")]":
                is_code = True
            elif word in ("else", "do", "try", "const", "noexcept", "override", "mutable"):
                is_code = True
            elif parent and p >= 0 and text[p] in ";{}:":
                is_code = True
            else:
                is_code = False
            stack.append((i, is_code))
            if is_code:
                code_blocks.add(i)
        elif c == "}" and stack:
            stack.pop()
    return code_blocks


def innermost_block(text, mask, at):
    depth = 0
    for i in range(at - 1, -1, -1):
        if not mask[i]:
            continue
        if text[i] == "}":
            depth += 1
        elif text[i] == "{":
            if depth == 0:
                return i
            depth -= 1
    return -1


def number_text(value, like):
    if like.lower().startswith("0x"):
        return "0x%X" % value
    return str(value)


def mutants_of(rel, src):
    mask = code_mask(src)
    found = []

    def add(start, end, op, text, tag=None):
        if all_code(mask, start, end):
            found.append(Mutant(rel, src, start, end, op, text, tag if tag is not None else text))

    def after_operator_keyword(start):
        return src[max(0, start - 8):start].rstrip().endswith("operator")

    # Comparisons: the boundary moved, the sense turned. A lone < or > only with spaces both sides,
    # which tells it from a template's brackets in this formatting.
    ror = {"<": ["<=", ">="], "<=": ["<", ">"], ">": [">=", "<="], ">=": [">", "<"], "==": ["!="], "!=": ["=="]}
    for m in re.finditer(r"(?<=\s)(<|>)(?=\s)|(?<![<>=!])(<=|>=)(?![=>])|(?<![=!<>])(==|!=)(?!=)", src):
        if after_operator_keyword(m.start()):
            continue
        for r in ror[m.group(0)]:
            add(m.start(), m.end(), "ROR", r)
    for m in re.finditer(r"(?<=\s)(&&|\|\|)(?=\s)", src):
        add(m.start(), m.end(), "LCR", "||" if m.group(0) == "&&" else "&&")
    # Negations: one taken away, one put around a condition.
    for m in re.finditer(r"!(?!=)", src):
        if not after_operator_keyword(m.start()):
            add(m.start(), m.end(), "NOT", "", "del")
    for m in re.finditer(r"\b(if|while)\s*\(", src):
        if not all_code(mask, m.start(), m.end()):
            continue
        close = matching(src, mask, m.end() - 1)
        if close > 0:
            inner = src[m.end():close]
            add(m.end(), close, "NOT", "!(" + inner + ")", "ins")
    # Integer constants: +1, -1, 0 (or 1 for a 0).
    for m in re.finditer(r"(?<![\w.'])(0[xX][0-9a-fA-F']+|\d[\d']*)([uUlLzZ]*)(?![\w.'])", src):
        if not all_code(mask, m.start(), m.end()):
            continue
        digits = m.group(1).replace("'", "")
        try:
            value = int(digits, 16 if digits.lower().startswith("0x") else 8 if digits.startswith("0") else 10)
        except ValueError:
            continue
        choices = [value + 1]
        if value > 0:
            choices.append(value - 1)
        choices.append(0 if value > 1 else None)
        if value == 0:
            choices = [1]
        for v in [c for c in choices if c is not None]:
            add(m.start(1), m.end(1), "CONST", number_text(v, m.group(1)), str(v))
    for m in re.finditer(r"\b(true|false)\b", src):
        add(m.start(), m.end(), "BOOL", "false" if m.group(0) == "true" else "true")
    # Arithmetic.
    for m in re.finditer(r"(?<=\s)(\+|-|\+=|-=)(?=\s)", src):
        swap = {"+": "-", "-": "+", "+=": "-=", "-=": "+="}[m.group(0)]
        add(m.start(), m.end(), "AOR", swap)
    for m in re.finditer(r"\+\+|--", src):
        add(m.start(), m.end(), "AOR", "--" if m.group(0) == "++" else "++")
    # Loops: break and continue swapped or taken away.
    for m in re.finditer(r"\b(break|continue)\s*;", src):
        word = m.group(1)
        add(m.start(), m.start() + len(word), "LOOP", "continue" if word == "break" else "break")
        add(m.start(), m.end(), "LOOP", ";", "del")
    # Statements in blocks of code: a call deleted, a returned value changed.
    blocks = block_kinds(src, mask)
    call = re.compile(r"(?m)^[ \t]*((?:[A-Za-z_]\w*(?:::|\.|->))*~?[A-Za-z_]\w*)\s*\(")
    for m in call.finditer(src):
        name = m.group(1)
        first = re.match(r"\w+", name.lstrip("~")).group(0)
        if first in KEYWORDS or not all_code(mask, m.start(1), m.end()):
            continue
        if innermost_block(src, mask, m.start(1)) not in blocks:
            continue
        p = prev_code(src, mask, m.start(1))
        if p >= 0 and src[p] not in ";{}:":
            continue
        end = matching(src, mask, m.end() - 1)
        while end > 0:
            rest = re.match(r"\s*(?:\.|->)\s*\w+\s*\(", src[end + 1:])
            if not rest:
                break
            end = matching(src, mask, end + rest.end())
        if end < 0:
            continue
        semi = re.match(r"\s*;", src[end + 1:])
        if semi:
            add(m.start(1), end + 1 + semi.end(), "CALL", ";", "del")
    for m in re.finditer(r"\breturn\b\s*", src):
        if not all_code(mask, m.start(), m.end()) or innermost_block(src, mask, m.start()) not in blocks:
            continue
        depth = 0
        j = m.end()
        while j < len(src):
            if mask[j]:
                if src[j] in "([{":
                    depth += 1
                elif src[j] in ")]}":
                    depth -= 1
                elif src[j] == ";" and depth == 0:
                    break
            j += 1
        expr = src[m.end():j].strip()
        if not expr or j >= len(src):
            continue
        if expr != "{}":
            add(m.end(), j, "RET", "{}")
        if expr not in ("true", "false", "{}") and not expr.startswith("!"):
            add(m.end(), j, "RET", "!(" + src[m.end():j] + ")", "not")
    # Distinct ids only (the same span can come twice from overlapping rules).
    unique = {}
    for mt in found:
        unique.setdefault(mt.id, mt)
    return sorted(unique.values(), key=lambda mt: (mt.start, mt.op, mt.tag))


# ---------------------------------------------------------------------------------------------------
# Files.


def core_files():
    files = []
    for d in CORE_DIRS:
        for p in sorted((ROOT / d).glob("*")):
            if p.suffix in (".cpp", ".h") and p.is_file():
                files.append(p)
    return files


def adapter_files():
    files = []
    for d in ADAPTER_DIRS:
        for p in sorted((ROOT / d).glob("*")):
            if p.suffix in (".cpp", ".h") and p.is_file():
                files.append(p)
    return files


def rel(p):
    return Path(p).resolve().relative_to(ROOT).as_posix()


# A program's own adapters are seen only by the tests that run that program: the other programs'
# suites and the tests of the shared code alone are left out for them.
SHARED_ONLY_TESTS = "common_tests|common_codec_|common_win32_tests|standin_server_tests"
SCOPE_EXCLUDE = {
    "siftwell/win32/": "gaugewell_|launcher_|" + SHARED_ONLY_TESTS,
    "gaugewell/win32/": "siftwell_|launcher_|" + SHARED_ONLY_TESTS,
    "launcher/win32/": "siftwell_|gaugewell_|" + SHARED_ONLY_TESTS,
}


def scope_exclude(relpath, exclude):
    for folder, scoped in SCOPE_EXCLUDE.items():
        if relpath.startswith(folder):
            return f"({exclude})|{scoped}" if exclude else scoped
    return exclude


def preset_of(relpath):
    return "windows" if "/win32/" in "/" + relpath else "host"


def restore_leftovers(paths):
    for p in paths:
        backup = Path(str(p) + BACKUP_SUFFIX)
        if backup.exists():
            print(f"mutate: restoring {rel(p)} from a backup a stopped run left", file=sys.stderr)
            shutil.copy2(backup, p)
            backup.unlink()
            os.utime(p)  # newer than any object built from the mutant
    for backup in ROOT.rglob("*" + BACKUP_SUFFIX):
        if "build" in backup.relative_to(ROOT).parts[:1]:
            continue
        original = Path(str(backup)[: -len(BACKUP_SUFFIX)])
        print(f"mutate: restoring {rel(original)} from a backup a stopped run left", file=sys.stderr)
        shutil.copy2(backup, original)
        backup.unlink()
        os.utime(original)


def read_results(path):
    results = {}
    if path.exists():
        for line in path.read_text().splitlines():
            if line.strip():
                r = json.loads(line)
                results[r["id"]] = r
    return results


def read_equivalents(path):
    eq = {}
    if path.exists():
        for line in path.read_text().splitlines():
            line = line.strip()
            if not line or line.startswith("#"):
                continue
            parts = line.split(None, 1)
            eq[parts[0]] = parts[1] if len(parts) > 1 else ""
    return eq


# ---------------------------------------------------------------------------------------------------
# Building and testing.


def run(cmd, timeout, log):
    start = time.monotonic()
    proc = subprocess.Popen(cmd, cwd=ROOT, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        rc = proc.wait(timeout=timeout)
        return rc, False, time.monotonic() - start
    except subprocess.TimeoutExpired:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        return -1, True, time.monotonic() - start
    except BaseException:
        os.killpg(proc.pid, signal.SIGKILL)
        proc.wait()
        raise


def build(preset, args, log):
    cmd = ["nice", "cmake", "--build", "--preset", preset]
    return run(cmd, args.build_timeout, log)


def test(preset, args, timeout, log, tests=None, exclude=None, fresh=True):
    cmd = ["nice", "ctest", "--preset", preset, "--stop-on-failure", "--timeout", str(int(timeout))]
    tests = tests if tests is not None else args.tests
    exclude = exclude if exclude is not None else args.exclude_tests
    if tests:
        cmd += ["-R", tests]
    if exclude:
        cmd += ["-E", exclude]
    if not fresh:  # the Wine prefix that the unmutated run made serves every mutant's run
        cmd = ["env", "ZANDREL_KEEP_WINEPREFIX=1"] + cmd
    return run(cmd, timeout + 60, log)


def score(results, equivalents, only=None, verbose=True):
    counts = {"killed": 0, "survived": 0, "timeout": 0, "not-compiled": 0, "equivalent": 0}
    survivors = []
    for mid, r in sorted(results.items()):
        if only is not None and mid not in only:
            continue
        status = r["status"]
        if mid in equivalents and status == "survived":
            counts["equivalent"] += 1
            continue
        counts[status] += 1
        if status == "survived":
            survivors.append(r)
    total = sum(counts.values())
    scored = total - counts["equivalent"] - counts["not-compiled"]
    value = (counts["killed"] + counts["timeout"]) / scored if scored else 0.0
    if verbose:
        print(f"mutants: {total}  killed {counts['killed']}  timeout {counts['timeout']}  "
              f"survived {counts['survived']}  not compiled {counts['not-compiled']}  "
              f"equivalent {counts['equivalent']}")
        print(f"score: {value:.3f} ({counts['killed'] + counts['timeout']} of {scored})")
        for r in survivors:
            print(f"  survived {r['id']}   {r.get('original', '')!r} -> {r.get('replacement', '')!r}")
    return value


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("files", nargs="*", help="sources to mutate (relative to the repository)")
    ap.add_argument("--core", action="store_true", help="the portable core's sources")
    ap.add_argument("--adapters", action="store_true", help="the win32/ folders' sources")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--sample", type=int, default=0, help="mutants to draw (0: all of them)")
    ap.add_argument("--results", default="build/mutate/results.jsonl")
    ap.add_argument("--equivalents", default="scripts/mutants-equivalent.txt")
    ap.add_argument("-R", "--tests", help="only the ctest tests matching this regex")
    ap.add_argument("-E", "--exclude-tests", help="leave out the ctest tests matching this regex")
    ap.add_argument("--timeout", type=float, default=0,
                    help="seconds a mutant's tests may take (default: 3x the unmutated run, at least 60)")
    ap.add_argument("--build-timeout", type=float, default=1800)
    ap.add_argument("--operators", help="comma-separated subset: ROR,LCR,NOT,CONST,BOOL,AOR,LOOP,CALL,RET")
    ap.add_argument("--ids", help="only these mutants: ids separated by commas")
    ap.add_argument("--rerun", choices=["survived", "all"], help="test again mutants already recorded")
    ap.add_argument("--list", action="store_true", help="print the drawn mutants, build nothing")
    ap.add_argument("--score", action="store_true", help="print the score of the results file only")
    ap.add_argument("--full-scope", action="store_true",
                    help="a program's adapters against every test, not only those that run that program")
    ap.add_argument("--shard", help="K/N: only every Nth drawn mutant from the Kth, for N trees run side by side")
    ap.add_argument("--max-minutes", type=float, default=0, help="stop (cleanly) after this long")
    ap.add_argument("--also-windows", action="store_true",
                    help="a core mutant that the host suite lets pass goes on to the Windows suite under Wine")
    ap.add_argument("--windows-tests", help="with --also-windows: only the Windows tests matching this regex")
    ap.add_argument("--windows-timeout", type=float, default=1200, help="seconds for the Windows suite")
    args = ap.parse_args()

    results_path = ROOT / args.results
    equivalents = read_equivalents(ROOT / args.equivalents)

    paths = [ROOT / f for f in args.files]
    if args.core:
        paths += core_files()
    if args.adapters:
        paths += adapter_files()
    # One run at a time in a tree: a second one (even --list) must not take the first's backup for a
    # leftover and put it back under its feet.
    lock_path = ROOT / "build" / ".mutate.lock"
    lock_path.parent.mkdir(exist_ok=True)
    lock = open(lock_path, "w")
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
        locked = True
    except OSError:
        locked = False
    if locked:
        restore_leftovers(paths)
    elif not (args.list or args.score):
        print("mutate: another run is going on in this tree", file=sys.stderr)
        return 2

    if args.score and not paths:
        score(read_results(results_path), equivalents)
        return 0
    if not paths:
        ap.error("no files: name some, or --core / --adapters")

    candidates = []
    for p in paths:
        candidates += mutants_of(rel(p), p.read_text())
    if args.operators:
        wanted = set(args.operators.split(","))
        candidates = [m for m in candidates if m.op in wanted]
    if args.ids:
        wanted_ids = set(args.ids.split(","))
        candidates = [m for m in candidates if m.id in wanted_ids]
    candidates.sort(key=lambda m: (m.file, m.start, m.op, m.tag))
    drawn = candidates
    if args.sample and args.sample < len(candidates):
        drawn = random.Random(args.seed).sample(candidates, args.sample)
        drawn.sort(key=lambda m: (m.file, m.start, m.op, m.tag))
    print(f"mutate: {len(candidates)} candidates in {len(paths)} files, {len(drawn)} drawn (seed {args.seed})")
    if args.shard:
        k, n = (int(x) for x in args.shard.split("/"))
        if not 1 <= k <= n:
            ap.error("--shard K/N takes 1 <= K <= N")
        drawn = drawn[k - 1::n]
        print(f"mutate: shard {k} of {n}: {len(drawn)} of them")

    if args.list:
        for m in drawn:
            src = Path(ROOT / m.file).read_text()
            print(f"{m.id}\t{src[m.start:m.end]!r} -> {m.text!r}")
        return 0

    results = read_results(results_path)
    if args.score:
        score(results, equivalents, only={m.id for m in drawn})
        return 0

    results_path.parent.mkdir(parents=True, exist_ok=True)
    logs = results_path.parent / "logs"
    logs.mkdir(exist_ok=True)

    def keep(m):
        if m.id not in results:
            return True
        status = results[m.id]["status"]
        return args.rerun == "all" or (args.rerun == "survived" and status == "survived")

    todo = [m for m in drawn if keep(m)]
    print(f"mutate: {len(drawn) - len(todo)} already recorded, {len(todo)} to run")

    # SIGTERM ends the run like ^C does: through the finally that puts the file back.
    def interrupt(*_):
        raise KeyboardInterrupt()

    signal.signal(signal.SIGTERM, interrupt)

    timeouts = {}
    deadline = time.monotonic() + args.max_minutes * 60 if args.max_minutes else None
    presets = sorted({preset_of(m.file) for m in todo} | ({"windows"} if args.also_windows else set()))
    for preset in presets:
        with open(logs / f"baseline-{preset}.log", "w") as log:
            rc, _, _ = build(preset, args, log)
            if rc != 0:
                print(f"mutate: the unmutated {preset} build fails, see {log.name}", file=sys.stderr)
                return 2
            extra = preset == "windows" and args.also_windows and bool(todo) and preset_of(todo[0].file) == "host"
            rc, timed_out, seconds = test(preset, args, (args.windows_timeout if extra else args.timeout) or 900,
                                          log, (args.windows_tests or "") if extra else None)
            if rc != 0 or timed_out:
                print(f"mutate: the unmutated {preset} suite fails, see {log.name}", file=sys.stderr)
                return 2
        timeouts[preset] = args.timeout or max(60.0, 3 * seconds)
        print(f"mutate: {preset} suite {seconds:.0f} s unmutated, {timeouts[preset]:.0f} s allowed a mutant")

    try:
        with open(results_path, "a") as out:
            for n, m in enumerate(todo, 1):
                if deadline and time.monotonic() > deadline:
                    print("mutate: time is up, stopping")
                    break
                path = ROOT / m.file
                backup = Path(str(path) + BACKUP_SUFFIX)
                original = path.read_text()
                mutated = original[: m.start] + m.text + original[m.end:]
                preset = preset_of(m.file)
                killer = preset
                started = time.monotonic()
                shutil.copy2(path, backup)
                try:
                    path.write_text(mutated)
                    with open(logs / "last.log", "w") as log:
                        rc, timed_out, _ = build(preset, args, log)
                        if rc != 0:
                            status = "not-compiled"
                        else:
                            exclude = args.exclude_tests if args.full_scope else scope_exclude(
                                m.file, args.exclude_tests)
                            rc, timed_out, _ = test(preset, args, timeouts[preset], log, exclude=exclude,
                                                    fresh=False)
                            status = "timeout" if timed_out else ("killed" if rc != 0 else "survived")
                        if status == "survived" and args.also_windows and preset == "host":
                            # The same fault in the Windows build, against the Windows suite.
                            killer = "windows"
                            rc, _, _ = build("windows", args, log)
                            if rc == 0:
                                rc, timed_out, _ = test("windows", args, timeouts["windows"], log,
                                                        args.windows_tests or "", fresh=False)
                                status = "timeout" if timed_out else ("killed" if rc != 0 else "survived")
                finally:
                    shutil.copy2(backup, path)
                    backup.unlink()
                    os.utime(path)  # newer than the mutant's objects, whatever the backup's time
                record = {
                    "id": m.id, "file": m.file, "line": m.line, "col": m.col, "op": m.op,
                    "original": original[m.start:m.end], "replacement": m.text, "status": status,
                    "preset": killer, "seconds": round(time.monotonic() - started, 1), "seed": args.seed,
                    "tests": args.tests or "",
                }
                results[m.id] = record
                out.write(json.dumps(record) + "\n")
                out.flush()
                print(f"[{n}/{len(todo)}] {status:12} {m.id}  ({record['seconds']} s)", flush=True)
    except KeyboardInterrupt:
        print("mutate: stopped; the file is restored, the results so far are kept", file=sys.stderr)
    finally:
        for preset in presets:  # leave the build trees as the sources are
            with open(logs / f"final-{preset}.log", "w") as log:
                build(preset, args, log)

    score(results, equivalents, only={m.id for m in drawn})
    return 0


if __name__ == "__main__":
    sys.exit(main())
