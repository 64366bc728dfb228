#!/usr/bin/env bash
# Installs the Debian packages that Daubwork needs, and only those that are
# missing:
#   tools/install-deps.sh run    to build and run the program
#   tools/install-deps.sh test   that, and what the tests and checks use
#                                (the default)
# Safe to run any number of times: when everything is present it prints one
# line and touches nothing.
set -euo pipefail

run=(
  g++ make cmake pkg-config freeglut3-dev libglu1-mesa-dev libdevil-dev libimgui-dev libx11-dev
  libfontconfig-dev fonts-dejavu-core
)
test=(
  # GoogleTest, a virtual X server, real X input events and the clipboard,
  # image checks
  libgtest-dev libbenchmark-dev xvfb xauth xdotool x11-utils xclip imagemagick libxtst-dev
  # the loader's fuzzer and the memory checks
  clang libclang-rt-14-dev valgrind
  # the installed files' validators, and the package: CPack asks file(1)
  # which files are programs for dpkg-shlibdeps
  desktop-file-utils appstream man-db groff-base dpkg-dev file lintian
)
case "${1:-test}" in
  run) packages=("${run[@]}") ;;
  test) packages=("${run[@]}" "${test[@]}") ;;
  *) echo "usage: $0 [run|test]" >&2; exit 2 ;;
esac

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
