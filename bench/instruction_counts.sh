#!/usr/bin/env bash
# The instructions a cell of a buffered conversion costs, counted by callgrind (package
# valgrind) on one processor, and checked against the goal of at most 250 a cell. A count
# does not move with the machine or with what else it is doing, as a time does, so two
# builds are compared by it, on any machine; the routines that cost most are listed with
# their own (exclusive) instructions a cell.
#
#   bench/instruction_counts.sh [NXxNYxNZ ...]
#
# Defaults: grids 100x100x100 (1M cells) and 200x200x200 (8M cells), the inputs of
# bench/grid_inputs.sh at map coordinates, written on tmpfs (TMPFS_DIR, default /dev/shm).
# PROGRAM (default BUILD_DIR/src/app/cellcentrify, BUILD_DIR default build/release) is the
# program counted. The 8M grid takes a minute or two under callgrind.
#
# Exit status: 0 when the goal is met on every grid, 1 when it is missed on any, 2 when it
# cannot count (no valgrind, a missing build, a failed run).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
grids=("$@")
[ ${#grids[@]} -gt 0 ] || grids=(100x100x100 200x200x200)
build=${BUILD_DIR:-$here/../build/release}
program=${PROGRAM:-$build/src/app/cellcentrify}
goal=250
[ -x "$program" ] || { echo "missing $program: build the release preset first" >&2; exit 2; }
command -v valgrind > /dev/null || { echo "valgrind is not installed" >&2; exit 2; }

dir=$(mktemp -d -p "${TMPFS_DIR:-/dev/shm}" instruction-counts.XXXXXX)
trap 'rm -rf "$dir"' EXIT
. "$here/grid_inputs.sh"

missed=0
for grid in "${grids[@]}"; do
  IFS=x read -r nx ny nz <<< "$grid"
  cells=$((nx * ny * nz))
  grid_inputs "$dir" "$nx" "$ny" "$nz" "500000.0 7000000.0 250.0"
  # One processor: the run the count describes is the one a single core makes, workers
  # and all, and callgrind runs the threads one at a time whatever it is given.
  XIOT_BUFFERED=true taskset -c 0 valgrind --tool=callgrind --callgrind-out-file="$dir/counts" \
    "$program" "$dir/mesh" "$dir/model" "$dir/table" 2> "$dir/valgrind.log" ||
    { cat "$dir/valgrind.log" >&2; echo "the counted run failed" >&2; exit 2; }
  total=$(sed -n 's/^summary: //p' "$dir/counts")
  echo "== $cells cells ($grid): $total instructions"
  awk -v t="$total" -v c="$cells" -v g="$goal" 'BEGIN {
    printf "  %.1f a cell    goal <= %d   %s\n", t / c, g, t / c <= g ? "met" : "not met" }'
  awk -v t="$total" -v c="$cells" -v g="$goal" 'BEGIN { exit !(t / c <= g) }' || missed=$((missed + 1))
  echo "  the routines that cost most, their own instructions a cell:"
  callgrind_annotate --inclusive=no "$dir/counts" 2> /dev/null |
    awk -v c="$cells" '/^ *[0-9,]+ \( *[0-9.]+%\)  / && !/PROGRAM TOTALS/ && shown < 10 {
      count = $1; gsub(",", "", count)
      name = $0; sub(/^[^)]*\)  /, "", name); sub(/ \[[^]]*\]$/, "", name)
      # file:function, the file being where the instructions are (a header when inlined)
      file = ""
      if (match(name, /^[^ :]*\.(h|cpp|cc|c|S):/)) { file = substr(name, 1, RLENGTH - 1); name = substr(name, RLENGTH + 1) }
      sub(/^\?\?\?:/, "", name); gsub(/\(anonymous namespace\)/, "{}", name); sub(/\(.*$/, "", name)
      sub(/^.*\//, "", file)
      printf "    %7.1f  %s%s\n", count / c, name, file == "" ? "" : "  (" file ")"; shown++ }'
  rm -f "$dir/counts" "$dir/table"
done
if [ "$missed" -gt 0 ]; then
  echo "the goal is missed on $missed of ${#grids[@]} grids"
  exit 1
fi
echo "the goal is met on every grid"
