#!/bin/sh
# com1_sim.sh SPLICER_SIM LINK "SIM OPTIONS" COMMAND...
# Serves a simulated splicer on a new pseudo-terminal, points LINK (where the Wine
# prefix's COM1 leads) at it, runs COMMAND and stops the simulator.
set -u
sim=$1 link=$2 options=$3
shift 3
out=$(mktemp) || exit 1
# $options unquoted: it is a list of options.
"$sim" $options > "$out" &
pid=$!
trap 'kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; rm -f "$out"' EXIT
# The program must not open COM1 before the pseudo-terminal exists.
tries=0
until path=$(head -n 1 "$out") && [ -n "$path" ]; do
  tries=$((tries + 1))
  if [ "$tries" -gt 100 ] || ! kill -0 "$pid" 2>/dev/null; then
    echo "com1_sim.sh: splicer-sim printed no pseudo-terminal" >&2
    exit 1
  fi
  sleep 0.05
done
ln -sfn "$path" "$link" || exit 1
"$@"
status=$?
exit "$status"
