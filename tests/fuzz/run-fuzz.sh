#!/usr/bin/env bash
# Runs the OBJ parser's fuzzer for a bounded time on a scratch copy of the
# seed corpus (and the regression inputs), and fails when it finds a crash.
#   tests/fuzz/run-fuzz.sh <build-dir> <seconds>
# <build-dir> is a folder configured with -DDAUB_FUZZ=ON and clang and built
# (target obj_parse_fuzz). Crashing inputs are kept in <build-dir>/fuzz-artifacts/.
set -euo pipefail

build=${1:?usage: run-fuzz.sh <build-dir> <seconds>}
seconds=${2:-60}
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
fuzzer="$build/tests/fuzz/obj_parse_fuzz"
if [ ! -x "$fuzzer" ]; then
  echo "run-fuzz: $fuzzer is not built" >&2
  exit 2
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$build/fuzz-artifacts"
cp "$here"/corpus/* "$work/corpus/"
if compgen -G "$here/regressions/*" >/dev/null; then
  cp "$here"/regressions/* "$work/corpus/"
fi

status=0
"$fuzzer" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
  -dict="$here/obj.dict" -artifact_prefix="$build/fuzz-artifacts/" \
  "$work/corpus" >"$work/log" 2>&1 || status=$?

runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)
if [ "$status" -ne 0 ]; then
  tail -n 60 "$work/log" >&2
  echo "run-fuzz: FAILED (exit $status) after ${runs:-?} executions; inputs in $build/fuzz-artifacts/" >&2
  exit 1
fi
echo "run-fuzz: ${runs:-?} executions in ${seconds} s, no crash"
