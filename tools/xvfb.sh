#!/usr/bin/env bash
# The one way the tests and the tools start a private X server: Xvfb on the
# first free display number (Xvfb picks it and reports it once it accepts
# connections, so runs side by side never collide), one screen of 24-bit
# colour, 1280 x 1024 unless a size is given, no TCP. Local clients connect
# without authorisation to a server started without -auth.
#
# As a command it becomes the server, so that whoever started it owns the
# server's process (the e2e harness starts it so):
#   tools/xvfb.sh FD [WIDTHxHEIGHT]
# writes the display number and a line feed to descriptor FD when ready.
#
# Sourced, it offers scripts a server in the background:
#   . tools/xvfb.sh; start_xvfb [WIDTHxHEIGHT]
# waits until the server is ready, exports DISPLAY and sets XVFB_PID (the
# caller ends it); returns 1 with Xvfb's messages when it could not start.

# -noreset: by default the server starts itself afresh whenever its last
# client leaves, and a program connecting in that moment (the next gl test,
# each its own process) is turned away.
xvfb_exec() {  # FD [WIDTHxHEIGHT]
  exec Xvfb -displayfd "$1" -screen 0 "${2:-1280x1024}x24" -nolisten tcp -noreset
}

start_xvfb() {  # [WIDTHxHEIGHT]
  local display_file log _
  display_file=$(mktemp) && log=$(mktemp) || return 1
  (xvfb_exec 3 "${1:-1280x1024}") 3>"$display_file" 2>"$log" </dev/null &
  XVFB_PID=$!
  for _ in $(seq 1 100); do
    [ -s "$display_file" ] && break
    kill -0 "$XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  if ! [ -s "$display_file" ]; then
    echo "xvfb: could not start Xvfb:" >&2
    cat "$log" >&2
    kill "$XVFB_PID" 2>/dev/null
    rm -f "$display_file" "$log"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$display_file")"
  rm -f "$display_file" "$log"
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  if ! [[ "${1:-}" =~ ^[0-9]+$ && "${2:-1x1}" =~ ^[0-9]+x[0-9]+$ && $# -le 2 ]]; then
    echo "usage: $0 FD [WIDTHxHEIGHT]" >&2
    exit 2
  fi
  xvfb_exec "$@"
fi
