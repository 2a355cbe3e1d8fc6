#!/usr/bin/env bash
# Another X client destroys the program's window while it runs (as `xdotool windowclose`
# does): the program must end by itself and exit 0 instead of running on unseen.
# Usage: window_destroyed_test.sh PROGRAM; runs its own X server.
set -euo pipefail
program="$1"
if [ -z "${SPLICE_IN_XVFB:-}" ]; then
  SPLICE_IN_XVFB=1 exec xvfb-run -a "$0" "$@"
fi
unset QT_QPA_PLATFORM  # the real X server, not the offscreen platform
# Under the sanitizers: libdbus, which the X11 platform loads, leaks on its own.
export LSAN_OPTIONS="suppressions=$(cd "$(dirname "$0")/.." && pwd)/lsan-suppressions.txt ${LSAN_OPTIONS:-}"
run() {
  local log; log="$(mktemp)"
  "$program" --demo --log "$log" > /dev/null 2>&1 &
  local pid=$! wid="" i
  for i in $(seq 100); do
    wid="$(xdotool search --name '^Record$' 2>/dev/null | head -1 || true)"
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || { echo "no window appeared"; kill "$pid"; exit 1; }
  xdotool windowactivate --sync "$wid" 2>/dev/null || true
  xdotool windowclose "$wid"
  for i in $(seq 50); do
    if ! kill -0 "$pid" 2>/dev/null; then
      local rc=0
      wait "$pid" || rc=$?
      echo "exited with $rc after the window was destroyed"
      exit "$rc"
    fi
    sleep 0.1
  done
  echo "still running 5 s after its window was destroyed"
  kill "$pid"
  exit 1
}
run
