#!/usr/bin/env bash
# Installs what is missing, builds Daubwork and starts it in run/, a folder
# holding its default files (image1.jpg, sphere.obj with its material
# library and texture). Files already in run/ are kept, so what was saved
# there stays.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh run
# A new build folder leaves the tests out, whose packages only the test
# command installs; one the test command set up keeps them.
tests=()
[ -f build/CMakeCache.txt ] || tests=(-DDAUB_TESTS=OFF)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${tests[@]}" >/dev/null
cmake --build build -j"$(nproc)" --target daubwork
mkdir -p run
for f in samples/*; do
  name=$(basename "$f")
  [ "$name" = README.md ] && continue
  [ -e "run/$name" ] || cp "$f" "run/$name"
done
if [ -z "${DISPLAY:-}" ]; then
  echo "run: no display is set (DISPLAY is empty); start Daubwork from a desktop session," >&2
  echo "     or under a virtual X server: Xvfb :1 & DISPLAY=:1 tools/run.sh" >&2
  exit 1
fi
cd run
exec ../build/daubwork
