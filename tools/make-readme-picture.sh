#!/usr/bin/env bash
# Makes docs/painting.png, the README's picture: runs Daubwork on a private
# X server, loads the sample photograph, paints it with real mouse drags
# (big circles first, then finer lines that follow the edges), saves the
# canvas as TGA and converts it to PNG. Needs a built tree (tools/test.sh
# or tools/run.sh builds one in build/).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${1:-build}
[ -x "$build/daubwork" ] && [ -x "$build/tests/panel_probe" ] || {
  echo "make-readme-picture: build first (cmake --build $build)" >&2; exit 1; }

work=$(mktemp -d)
XVFB_PID=""
trap '[ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true; rm -rf "$work"' EXIT
. tools/xvfb.sh
start_xvfb || exit 1

for f in samples/*; do [ "$(basename "$f")" = README.md ] || cp "$f" "$work/"; done
(cd "$work" && "$root/$build/tests/panel_probe") > "$work/layout"
panel_w=$(awk '$1 == "panel" {print $2}' "$work/layout")
# The screen point of the middle of a control, by its label.
control() {
  awk -v label="$1" -v px=$((50 + 800 - panel_w)) '
    $1 == "control" { name = $0; for (i = 0; i < 7; i++) sub(/^[^ ]+ /, "", name)
      if (name == label) { print px + $4 + int($6 / 2), 50 + $5 + int($7 / 2); exit } }' "$work/layout"
}
click() { read -r x y < <(control "$1"); xdotool mousemove "$x" "$y" click 1; sleep 0.2; }
set_field() {
  read -r x y < <(control "$1")
  xdotool mousemove "$x" "$y" click 1 key End
  for _ in $(seq 1 10); do xdotool key BackSpace; done
  xdotool type "$2"
  xdotool mousemove 60 60 click 2   # a click in the canvas commits it
  sleep 0.2
}
# A drag across the canvas along a row, in canvas pixels.
row() {
  local y=$1 x
  xdotool mousemove $((50 + 5)) $((50 + y)) mousedown 1
  for x in $(seq 5 12 525); do xdotool mousemove $((50 + x)) $((50 + y)); done
  xdotool mouseup 1
}

(cd "$work" && exec "$root/$build/daubwork" > "$work/out.txt" 2>&1) &
app=$!
for _ in $(seq 1 100); do xdotool search --name '^Daubwork Application$' >/dev/null 2>&1 && break; sleep 0.1; done
sleep 1

click "Load Image"
# An underpainting of broad circles.
set_field "Stroke Size: " 14
set_field "Stroke Number: " 40
for y in $(seq 10 30 590); do row "$y"; done
# Finer lines along the edges.
click "Lines"
click "Follow Edges:"
set_field "Stroke Size: " 7
for y in $(seq 20 20 580); do row "$y"; done
sleep 1
set_field "Image Filename: " painting.tga
click "Save Image"
for _ in $(seq 1 100); do [ -s "$work/painting.tga" ] && break; sleep 0.1; done
sleep 0.5
kill "$app" 2>/dev/null || true
mkdir -p docs
convert "$work/painting.tga" -auto-orient docs/painting.png
echo "make-readme-picture: wrote docs/painting.png"
