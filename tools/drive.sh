#!/usr/bin/env bash
# Drives the built program on a private X server with real mouse and key
# events, for the scripts that make the repository's pictures. Sourced:
#   . tools/drive.sh
#   drive_start BUILD [PICTURE]   # X server, the default files (and PICTURE,
#                                 # under its own name) in a fresh folder,
#                                 # the program started there and mapped
#   click LABEL; set_field LABEL TEXT; drag_row Y [X0 X1 STEP]
#   save_canvas NAME              # Save Image to NAME in that folder
#   screenshot FILE               # the whole main window with its panel
#   drive_stop                    # ends the program and the server
# after which $drive_work is the folder, until the shell exits. Canvas
# coordinates here are pixels from the canvas's top-left corner.

# The main window opens at (50, 50), 800 x 600, its panel on the right.
drive_origin=50
drive_width=800
drive_work=""
drive_app=""
XVFB_PID=""

drive_stop() {
  [ -z "$drive_app" ] || kill "$drive_app" 2>/dev/null || true
  [ -z "$XVFB_PID" ] || kill "$XVFB_PID" 2>/dev/null || true
  drive_app=""
  XVFB_PID=""
}

drive_cleanup() {
  drive_stop
  [ -z "$drive_work" ] || rm -rf "$drive_work"
}

drive_start() {  # BUILD [PICTURE]
  local root build=$1 picture=${2:-} f
  root=$(pwd)
  [ -x "$build/daubwork" ] && [ -x "$build/tests/panel_probe" ] || {
    echo "drive: build first (cmake --build $build --target daubwork panel_probe)" >&2
    return 1
  }
  drive_work=$(mktemp -d)
  trap drive_cleanup EXIT
  . "$root/tools/xvfb.sh"
  start_xvfb || return 1
  for f in "$root"/samples/*; do [ "$(basename "$f")" = README.md ] || cp "$f" "$drive_work/"; done
  [ -z "$picture" ] || cp "$picture" "$drive_work/"
  (cd "$drive_work" && "$root/$build/tests/panel_probe") > "$drive_work/layout"
  drive_panel_w=$(awk '$1 == "panel" {print $2}' "$drive_work/layout")
  (cd "$drive_work" && exec "$root/$build/daubwork" > "$drive_work/out.txt" 2>&1) &
  drive_app=$!
  for _ in $(seq 1 200); do
    drive_window=$(xdotool search --name '^Daubwork Application$' 2>/dev/null | head -n1 || true)
    [ -z "$drive_window" ] || break
    sleep 0.1
  done
  [ -n "$drive_window" ] || { echo "drive: the program's window did not appear" >&2; return 1; }
  sleep 1
}

# The screen point of the middle of a control, by its label.
control() {
  awk -v label="$1" -v px=$((drive_origin + drive_width - drive_panel_w)) -v py=$drive_origin '
    $1 == "control" { name = $0; for (i = 0; i < 7; i++) sub(/^[^ ]+ /, "", name)
      if (name == label) { print px + $4 + int($6 / 2), py + $5 + int($7 / 2); exit } }' \
    "$drive_work/layout"
}

click() {
  local x y
  read -r x y < <(control "$1")
  xdotool mousemove "$x" "$y" click 1
  sleep 0.2
}

set_field() {  # LABEL TEXT
  local x y
  read -r x y < <(control "$1")
  xdotool mousemove "$x" "$y" click 1 key End
  for _ in $(seq 1 10); do xdotool key BackSpace; done
  xdotool type "$2"
  # A middle click in the canvas commits it without painting.
  xdotool mousemove $((drive_origin + 10)) $((drive_origin + 10)) click 2
  sleep 0.2
}

# A left-button drag along a row of the canvas.
drag_row() {  # Y [X0 X1 STEP]
  local y=$1 x
  xdotool mousemove $((drive_origin + ${2:-5})) $((drive_origin + y)) mousedown 1
  for x in $(seq "${2:-5}" "${4:-12}" "${3:-525}"); do
    xdotool mousemove $((drive_origin + x)) $((drive_origin + y))
  done
  xdotool mouseup 1
}

save_canvas() {  # NAME
  sleep 1
  set_field "Image Filename: " "$1"
  click "Save Image"
  for _ in $(seq 1 100); do [ -s "$drive_work/$1" ] && break; sleep 0.1; done
  sleep 0.5
  [ -s "$drive_work/$1" ] || { echo "drive: Save Image wrote no $1" >&2; return 1; }
}

screenshot() {  # FILE
  sleep 1
  import -window "$drive_window" -strip "$1"
}
