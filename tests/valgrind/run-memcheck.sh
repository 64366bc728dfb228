#!/usr/bin/env bash
# Runs a short user journey of the real Daubwork program under valgrind's
# memcheck and says whether memcheck found an invalid access or a definite
# leak outside the libraries named in daubwork.supp (beside this script).
#
#   tests/valgrind/run-memcheck.sh <build-dir>
#
# The journey is the e2e test tests/e2e/rough_memcheck_test.cpp: it starts
# its own X server, drives the program with real X input (load the picture,
# every brush, the OBJ File brush on the sphere, Follow Edges, a resize,
# Clear Image, Save Image, two mistyped names, q) and takes about half a
# minute on the 2-core test machine. It is also part of the default e2e run.
# Memcheck's log stays in <build-dir>/memcheck-journey.log.
# Exit status: 0 clean, 1 memcheck found errors (or the journey failed),
# 2 nothing could be checked (no valgrind, a sanitizer build, not built).
set -euo pipefail

if [ $# -ne 1 ]; then
  echo "usage: $0 <build-dir>" >&2
  exit 2
fi
build=$1
if ! command -v valgrind >/dev/null 2>&1; then
  echo "run-memcheck: valgrind is not installed (tools/install-deps.sh installs it)" >&2
  exit 2
fi
cmake --build "$build" --target e2e_rough_memcheck_test -j2 >/dev/null
journey="$build/tests/e2e_rough_memcheck_test"
log="$build/memcheck-journey.log"
rm -f "$log"

status=0
output=$(DAUB_MEMCHECK=1 "$journey" 2>&1) || status=1
printf '%s\n' "$output"
if printf '%s\n' "$output" | grep -q '^\[  SKIPPED \]'; then
  echo "run-memcheck: the journey was skipped (a sanitizer build?): nothing checked" >&2
  exit 2
fi
if [ -f "$log" ]; then
  echo "== memcheck's summary ($log)"
  grep -E 'ERROR SUMMARY|definitely lost:|indirectly lost:|possibly lost:|used_suppression' "$log" || true
fi
if [ "$status" = 0 ]; then
  echo "run-memcheck: no invalid access, no definite leak"
else
  echo "run-memcheck: FAILED, see $log" >&2
fi
exit "$status"
