#!/bin/sh
# win32_smoke.sh WINE EXE LOG SHOT
# The Windows program as a technician uses it, on the X server in DISPLAY (no window
# manager): Com Test, ReadAll, the completion box, a screenshot of both, OK, then the
# window closed with Alt+F4. Run it under com1_sim.sh, with the splicer on COM1.
set -u
wine=$1 exe=$2 log=$3 shot=$4
rm -f "$log" "$shot"
fail() {
  echo "win32_smoke.sh: $*" >&2
  kill "$pid" 2>/dev/null
  exit 1
}
# wait_for SECONDS COMMAND...: until COMMAND succeeds.
wait_for() {
  limit=$(($1 * 10))
  shift
  tries=0
  until "$@"; do
    tries=$((tries + 1))
    [ "$tries" -le "$limit" ] || return 1
    sleep 0.1
  done
}
# Only this program's windows: other tests may show windows named alike on the display.
window_named() { found=$(xdotool search --all --pid "$pid" --name "$1" 2>/dev/null | head -n 1) && [ -n "$found" ]; }
lines_in_log() { [ -f "$log" ] && [ "$(grep -c '^NO ' "$log")" -eq "$1" ]; }
lines_in_log_at_least() { [ -f "$log" ] && [ "$(grep -c '^NO ' "$log")" -ge "$1" ]; }

"$wine" "$exe" --port COM1 --log "$(winepath -w "$log" 2>/dev/null)" &
pid=$!
wait_for 30 window_named '^Record$' || fail "no window"
window=$found
# Without a window manager Wine draws the frame inside the X window: the client area of
# 467 x 362 pixels sits centred across and under the caption.
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(((WIDTH - 467) / 2))
caption=$((HEIGHT - 362 - border))
click() { xdotool mousemove --window "$window" $((border + $1)) $((caption + $2)) click 1; }

click 52 292  # Com Test
# ReadAll stays disabled until the link test has passed; a loaded machine may take a
# while, so ReadAll is clicked until the first record is in the log.
read_all_started() {
  lines_in_log_at_least 1 && return 0
  click 292 332
  return 1
}
wait_for 30 read_all_started || fail "ReadAll logged nothing"
wait_for 60 window_named '^splice-records$' || fail "no box at the end of ReadAll"
box=$found
sleep 0.5  # drawn
# The window and the box over it, cut out of the screen.
right=$((X + WIDTH)) bottom=$((Y + HEIGHT))
eval "$(xdotool getwindowgeometry --shell "$box")"
[ $((X + WIDTH)) -gt "$right" ] && right=$((X + WIDTH))
[ $((Y + HEIGHT)) -gt "$bottom" ] && bottom=$((Y + HEIGHT))
import -window root -crop "${right}x${bottom}+0+0" +repage "$shot" || fail "no screenshot"
lines_in_log 57 || fail "the log holds $(grep -c '^NO ' "$log" 2>/dev/null) records, not 57"

# Keys go where the X focus is; there is no window manager to give it.
xdotool windowfocus --sync "$box"
xdotool key Return
wait_for 10 sh -c "! xdotool search --all --pid $pid --name '^splice-records\$' >/dev/null 2>&1" || fail "the box did not close on Enter"
xdotool windowfocus --sync "$window"
xdotool key alt+F4
wait_for 10 sh -c "! kill -0 $pid 2>/dev/null" || fail "the program did not end on Alt+F4"
wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "the program ended with $status"
echo "57 records logged; screenshot in $shot"
