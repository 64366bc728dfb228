#!/usr/bin/env bash
# Makes the README's pictures: runs Daubwork on a private X server, loads
# the sample photograph, paints it with real mouse drags (big circles first,
# then finer lines that follow the edges), takes a screenshot of the whole
# window with its panel (docs/window.png), then saves the canvas as TGA and
# converts it to PNG (docs/painting.png). Needs a built tree (tools/test.sh
# or tools/run.sh builds one in build/).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
. tools/drive.sh
drive_start "$build"

click "Load Image"
# An underpainting of broad circles.
set_field "Stroke Size: " 14
set_field "Stroke Number: " 40
for y in $(seq 10 30 590); do drag_row "$y"; done
# Finer lines along the edges.
click "Lines"
click "Follow Edges:"
set_field "Stroke Size: " 7
for y in $(seq 20 20 580); do drag_row "$y"; done
mkdir -p docs
screenshot docs/window.png
save_canvas painting.tga
convert "$drive_work/painting.tga" -auto-orient docs/painting.png
echo "make-readme-picture: wrote docs/window.png and docs/painting.png"
