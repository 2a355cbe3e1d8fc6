#!/bin/sh
# windows_bench.sh WINE EXE SPLICER_SIM LINK [RECORDS]
# How fast the Windows program downloads under Wine and how little CPU it uses: a paced
# ReadAll of RECORDS (200) records from splicer-sim on COM1 (LINK is where the Wine
# prefix's COM1 leads), clicked by xdotool on the X server in DISPLAY. Prints figures and
# asserts nothing about time: Wine, Xvfb and this machine's load all weigh on them.
set -u
wine=$1 exe=$2 sim=$3 link=$4 records=${5:-200}
work=$(mktemp -d) || exit 1
log="$work/RECORD.txt"
trap 'kill "$app" "$simpid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "windows_bench.sh: $*" >&2; exit 1; }
wait_for() {
  limit=$(($1 * 20)); shift; tries=0
  until "$@"; do tries=$((tries + 1)); [ "$tries" -le "$limit" ] || return 1; sleep 0.05; done
}
logged() { [ -f "$log" ] && grep -c '^NO ' "$log" || echo 0; }
# CPU seconds a process has used: user and system time from /proc, in clock ticks.
cpu_of() { awk -v hz="$(getconf CLK_TCK)" '{ printf "%.3f\n", ($14 + $15) / hz }' "/proc/$1/stat"; }
now() { date +%s.%N; }

"$sim" --records "$records" --paced > "$work/sim.out" 2>&1 &
simpid=$!
wait_for 10 sh -c "head -n 1 '$work/sim.out' | grep -q /dev/" || fail "splicer-sim printed no pseudo-terminal"
ln -sfn "$(head -n 1 "$work/sim.out")" "$link"

"$wine" "$exe" --port COM1 --log "$(winepath -w "$log" 2>/dev/null)" &
app=$!
wait_for 30 sh -c "xdotool search --all --pid $app --name '^Record\$' >/dev/null 2>&1" || fail "no window"
window=$(xdotool search --all --pid "$app" --name '^Record$' | head -n 1)
# The Windows program is a Linux process of its own under Wine (the one started here);
# the Wine server works for it too.
program=$app
server=
for pid in $(pgrep -f 'wineserver'); do
  { tr '\0' '\n' < "/proc/$pid/environ"; } 2>/dev/null | grep -qx "WINEPREFIX=$WINEPREFIX" && server=$pid
done
[ -n "$server" ] || fail "no Wine server for $WINEPREFIX"
eval "$(xdotool getwindowgeometry --shell "$window")"
border=$(((WIDTH - 467) / 2)) caption=$((HEIGHT - 362 - (WIDTH - 467) / 2))
click() { xdotool mousemove --window "$window" $((border + $1)) $((caption + $2)) click 1; }

click 52 292  # Com Test
sleep 2
program_before=$(cpu_of "$program") server_before=$(cpu_of "$server") started=$(now)
click 292 332 # ReadAll
wait_for $((10 + records)) sh -c "[ \$(grep -c '^NO ' '$log' 2>/dev/null || echo 0) -ge $records ]" ||
  fail "logged $(logged) of $records records"
ended=$(now) program_after=$(cpu_of "$program") server_after=$(cpu_of "$server")
sleep 1  # the completion box is up: the program waits, with the port open
rest_program=$(cpu_of "$program") rest_server=$(cpu_of "$server")
sleep 5
rest_program_after=$(cpu_of "$program") rest_server_after=$(cpu_of "$server")

kill -TERM "$simpid"
wait "$simpid" 2>/dev/null
turnaround=$(grep '^turnaround:' "$work/sim.out")
echo "Windows program under Wine: paced ReadAll of $records records from splicer-sim on COM1 ($(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'))"
awk -v records="$records" -v start="$started" -v end="$ended" \
    -v p0="$program_before" -v p1="$program_after" -v s0="$server_before" -v s1="$server_after" \
    -v r0="$rest_program" -v r1="$rest_program_after" -v q0="$rest_server" -v q1="$rest_server_after" \
    -v turnaround="$turnaround" 'BEGIN {
  wall = end - start
  wire = records * 9 * 10 / 2400.0
  split(turnaround, t, /median | ms, p95 | ms/)
  printf "  %-40s %s ms\n", "turnaround median, at the instrument", t[2]
  printf "  %-40s %s ms\n", "turnaround p95", t[3]
  printf "  %-40s %.1f s (the wire alone: %.1f s)\n", "download time", wall, wire
  printf "  %-40s %.1f%%\n", "efficiency (wire time / download time)", 100 * wire / wall
  printf "  %-40s %.1f%% of a core\n", "program CPU during the download", 100 * (p1 - p0) / wall
  printf "  %-40s %.1f%% of a core\n", "Wine server CPU during the download", 100 * (s1 - s0) / wall
  printf "  %-40s %.2f%% of a core\n", "program CPU at rest, port open, 5 s", 100 * (r1 - r0) / 5
  printf "  %-40s %.2f%% of a core\n", "Wine server CPU at rest, 5 s", 100 * (q1 - q0) / 5
}'
