#!/bin/sh
# scenario_com1.sh SCENARIO_LINE LINK COMMAND...
# Runs COMMAND, the Windows scenario runner, with COM1 served by the instrument of the row
# that its --gtest_filter names last (".../RowName"): com1_sim.sh starts scenario-line for
# the row and points LINK (where the Wine prefix's COM1 leads) at its pseudo-terminal, and
# the runner finds scenario-line's folder in SPLICE_SCENARIO_LINE as a Windows path.
# Without a filter, as when CTest lists the runner's tests, COMMAND runs alone.
set -u
line=$1 link=$2
shift 2
row=
for arg in "$@"; do
  case $arg in --gtest_filter=*) row=${arg##*/} ;; esac
done
[ -n "$row" ] || exec "$@"

folder=$(mktemp -d) || exit 1
trap 'rm -rf "$folder"' EXIT
# Wine's drive Z: is the Linux root.
SPLICE_SCENARIO_LINE="Z:$(printf '%s' "$folder" | tr / '\\')" \
  "$(dirname "$0")/../serial/com1_sim.sh" "$line" "$link" "$row $folder" "$@"
status=$?
exit "$status"
