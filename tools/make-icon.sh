#!/usr/bin/env bash
# Makes the program's icon, a painting made by Daubwork itself: draws a
# simple sunset over the sea in strong colours with ImageMagick, loads it
# into the program on a private X server, paints a square of the canvas
# with real mouse drags (broad circles, then lines that follow the sun's
# rim and the horizon, then small circles for the sun's glow), saves it as
# TGA, and scales the square to the hicolor sizes in dist/icons/. Needs a
# built tree (tools/test.sh or tools/run.sh builds one in build/).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
. tools/drive.sh

# The square, in canvas pixels from the top-left corner.
side=300
left=115
top=150

picture=$(mktemp -d)/sunset.png
trap 'rm -rf "$(dirname "$picture")"' EXIT
# The sky darkens upwards, the sun sets into the sea, its glow on the
# water; the square holds the sun and its glow. The picture is canvas-sized
# (530 x 600), so it lands on the canvas pixel for pixel.
horizon=$((top + 190))
at="translate $left,$top"
convert -size 530x$top xc:'#22338f' -size 530x190 gradient:'#22338f-#ff7a1c' \
  -size 530x$((600 - horizon)) xc:'#0f4aa8' -append \
  -fill '#ffd42a' -draw "$at circle 150,190 150,112" \
  -fill '#0f4aa8' -draw "$at rectangle -$left,190 $((530 - left)),$((600 - top))" \
  -fill '#ff9d2e' -draw "$at rectangle 95,205 205,214" \
  -draw "$at rectangle 115,228 185,236" -draw "$at rectangle 132,252 168,259" \
  +repage "$picture"

drive_start "$build" "$picture"
trap 'drive_cleanup; rm -rf "$(dirname "$picture")"' EXIT

# Drags run a little past the square, so that its rim is covered as
# densely as its middle.
paint_square() {  # STEP between rows
  local y
  for y in $(seq $((top - 10)) "$1" $((top + side + 10))); do
    drag_row "$y" $((left - 10)) $((left + side + 10)) 9
  done
}

set_field "Image Filename: " sunset.png
click "Load Image"
set_field "Stroke Radius: " 30
set_field "Stroke Number: " 25
set_field "Stroke Size: " 18
paint_square 18
click "Lines"
click "Follow Edges:"
set_field "Stroke Size: " 12
set_field "Stroke Radius: " 25
paint_square 14
click "Circles"
set_field "Stroke Size: " 5
set_field "Stroke Number: " 6
paint_square 24
save_canvas icon.tga
convert "$drive_work/icon.tga" -auto-orient -crop ${side}x${side}+${left}+${top} +repage \
  "$drive_work/square.png"
# A blank square means the picture did not load or the drags went astray.
if [ "$(convert "$drive_work/square.png" -format '%[fx:standard_deviation > 0.05]' info:)" != 1 ]; then
  echo "make-icon: the painted square is blank; the program said:" >&2
  cat "$drive_work/out.txt" >&2
  exit 1
fi

for size in 48 128 256; do
  dir=dist/icons/hicolor/${size}x${size}/apps
  mkdir -p "$dir"
  # -strip: no time stamps, so the same painting gives the same file.
  convert "$drive_work/square.png" -filter Lanczos -resize ${size}x${size} -strip "$dir/org.daubwork.Daubwork.png"
done
echo "make-icon: wrote dist/icons/hicolor/{48x48,128x128,256x256}/apps/org.daubwork.Daubwork.png"
