#!/usr/bin/env bash
# Every test of the tool set: installs what is missing, checks the formatting, then runs the native
# unit tests (ASan, UBSan), the Windows build's tests under Wine, and a bounded fuzzing run.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup.sh

echo "== formatting"
git ls-files -z '*.cpp' '*.h' | xargs -0 -r clang-format --dry-run --Werror

echo "== host: portable cores, unit tests with sanitizers"
cmake --workflow --preset host

echo "== windows: cross-built executables and tests under Wine"
cmake --workflow --preset windows

echo "== fuzz: libFuzzer smoke run"
cmake --workflow --preset fuzz

echo "all tests passed"
