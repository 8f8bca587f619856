#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through ctest:
#   1. the Release build's unit, window and command-line tests, the Debian
#      package (built, unpacked and run) and the desktop entry and metainfo
#      checks; then the engine tests once more with the portable kernel;
#   2. the same suite built with AddressSanitizer and UndefinedBehaviorSanitizer;
#   3. the libFuzzer targets, FUZZ_SECONDS (45) each: the whole run stays
#      within a quarter of an hour on two cores.
# QUICK=1 runs only the first stage.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

JOBS=$(nproc)
export QT_QPA_PLATFORM=offscreen

# Runs ctest and adds its counts to the totals printed at the end.
passed=0
failed=0
run_ctest() {
  local log
  log=$(mktemp)
  local status=0
  ctest "$@" 2>&1 | tee "$log" || status=$?
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [[ $line =~ ([0-9]+)\ tests?\ failed\ out\ of\ ([0-9]+) ]]; then
    failed=$((failed + BASH_REMATCH[1]))
    passed=$((passed + BASH_REMATCH[2] - BASH_REMATCH[1]))
  fi
  return "$status"
}
summary() { echo "$passed passed, $failed failed"; }
trap summary EXIT

echo "== Release build and tests"
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release
cmake --build build -j"$JOBS"
run_ctest --test-dir build --output-on-failure -j"$JOBS"

echo "== Engine tests with the portable kernel"
# The engine alone (no Qt), without the x86-64 vector kernels.
cmake -S . -B build-portable -DCMAKE_BUILD_TYPE=Release -DKELVARO_PORTABLE_KERNEL=ON \
  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DKELVARO_BUILD_BENCH=OFF
cmake --build build-portable -j"$JOBS"
run_ctest --test-dir build-portable --output-on-failure -j"$JOBS"

if [ "${QUICK:-0}" = 1 ]; then
  exit 0
fi

echo "== Sanitizer build and tests"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DKELVARO_SANITIZE=ON -DKELVARO_BUILD_BENCH=OFF
cmake --build build-sanitize -j"$JOBS"
run_ctest --test-dir build-sanitize --output-on-failure -j"$JOBS"

echo "== Fuzzing"
CC=clang-14 CXX=clang++-14 cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DKELVARO_FUZZ=ON -DKELVARO_BUILD_TESTS=OFF -DKELVARO_BUILD_BENCH=OFF \
  -DFUZZ_SECONDS="${FUZZ_SECONDS:-45}"
cmake --build build-fuzz -j"$JOBS" --target all
run_ctest --test-dir build-fuzz --output-on-failure
