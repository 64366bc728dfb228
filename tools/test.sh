#!/usr/bin/env bash
# Installs what is missing, builds Daubwork (plain, sanitized and fuzzing
# builds) and runs the whole test suite: unit, gl and e2e tests, the unit
# and gl tests again under AddressSanitizer and UndefinedBehaviorSanitizer,
# the checks of the installed files and the Debian package, and the OBJ
# loader's fuzzer for a minute. Starts a private X server when
# no display is set.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tools/install-deps.sh test

jobs=$(nproc)
# Warnings are errors here: what CI builds must build clean.
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDAUB_WERROR=ON -DDAUB_TESTS=ON
cmake --build build -j"$jobs"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DDAUB_SANITIZE=ON -DDAUB_BENCH=OFF -DDAUB_WERROR=ON
cmake --build build-asan -j"$jobs"
fuzzing=0
if [ -f tests/fuzz/CMakeLists.txt ]; then
  fuzzing=1
  cmake -S . -B build-fuzz -DDAUB_FUZZ=ON -DDAUB_WERROR=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++
  cmake --build build-fuzz -j"$jobs"
fi

# The gl tests need an X display; e2e tests start X servers of their own.
XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true; }
trap cleanup EXIT
if [ -z "${DISPLAY:-}" ]; then
  . tools/xvfb.sh
  start_xvfb || { echo "test: could not start Xvfb" >&2; exit 1; }
fi

status=0
echo "== unit, gl and e2e tests"
ctest --test-dir build --output-on-failure -j2 || status=1

echo "== unit and gl tests under AddressSanitizer and UndefinedBehaviorSanitizer"
# Leaks inside the GL driver, X and GLUT are not ours to mend; see the file.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=0"
export LSAN_OPTIONS="suppressions=$root/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
ctest --test-dir build-asan --output-on-failure -j2 -L 'unit|gl' || status=1

echo "== installing and packaging"
tools/check-install.sh build || status=1

if [ "$fuzzing" = 1 ]; then
  echo "== OBJ loader fuzzing"
  tests/fuzz/run-fuzz.sh build-fuzz 60 || status=1
fi

if [ "$status" = 0 ]; then echo "test: all passed"; else echo "test: FAILURES" >&2; fi
exit "$status"
