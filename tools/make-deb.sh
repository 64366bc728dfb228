#!/usr/bin/env bash
# Builds Daubwork's Debian package with CPack and prints its path:
#   tools/make-deb.sh [BUILD]
# BUILD is the build folder to package from (default build-deb/, set up
# here without the tests and benchmarks). The package's dependencies are
# the shared libraries dpkg-shlibdeps finds the program linked against.
# Install it with: apt-get install ./BUILD/daubwork_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}
if ! [ -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDAUB_TESTS=OFF -DDAUB_BENCH=OFF \
    >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target daubwork >&2
rm -f "$build"/daubwork_*.deb
log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ! (cd "$build" && cpack -G DEB) >"$log" 2>&1; then
  cat "$log" >&2
  echo "make-deb: cpack failed" >&2
  exit 1
fi
debs=("$build"/daubwork_*.deb)
[ -f "${debs[0]}" ] || { cat "$log" >&2; echo "make-deb: cpack made no package" >&2; exit 1; }
echo "${debs[0]}"
