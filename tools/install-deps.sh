#!/usr/bin/env bash
# Installs the Debian packages that Daubwork needs to build, run and test,
# and only those that are missing. Safe to run any number of times: when
# everything is present it prints one line and touches nothing.
set -euo pipefail

packages=(
  # building and running
  g++ cmake pkg-config freeglut3-dev libglu1-mesa-dev libdevil-dev libimgui-dev
  # testing: GoogleTest, a virtual X server, real X input events, image checks
  libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils imagemagick libx11-dev libxtst-dev
  # the loader's fuzzer and the memory checks
  clang libclang-rt-14-dev valgrind
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null 2>&1; then
  sudo=(sudo)
else
  echo "install-deps: not root and no sudo; please install: ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
