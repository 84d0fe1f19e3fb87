#!/usr/bin/env bash
# The conversion's speed as ratios to its yardsticks, all measured side by side in one
# sitting, and checked against the goals:
#   XIOT_BUFFERED=true   <= 0.2 x the plain converter, and at most 2.5 x the block
#                        floor's processor time (user + system)
#   default              <= 1.15 x the floor of one 66-byte write call per record
# Buffered against the block floor is printed in wall-clock time too, unchecked: the floor
# needs next to no processor time of its own, so where the page cache holds the table the
# ratio is the program's processor time over a copy's; the largest grid is measured
# against its direct floor by hand (doc/performance.md). The instructions a cell, which
# no machine moves, are bench/instruction_counts.sh's.
#
#   bench/speed_ratios.sh [-n RUNS] [NXxNYxNZ ...]
#
# Defaults: 5 counted runs after one warm-up, grids 100x100x100 (1M cells) and 200x200x200
# (8M cells). Each grid is measured on tmpfs (TMPFS_DIR, default /dev/shm) and on the disk
# (DISK_DIR, default the build directory of this checkout); BUILD_DIR (default
# build/release) holds the program (PROGRAM, to time another build of it) and the
# yardsticks of bench/CMakeLists.txt:
#   plain     bench/plain_converter: std::from_chars in, std::to_chars out, one stdio stream
#   blocks    io_floor blocks: read the model, write the table's bytes in 128 KiB blocks
#   records   io_floor records: one 66-byte write call per record
# Within a round the five commands run one after another, and every ratio is taken within
# a round before the median is taken, so a machine that drifts in speed moves both sides.
# The goals are on wall-clock time; the same ratios of CPU time (user + system), which the
# other work on a shared machine disturbs less, are printed beside them.
# Before timing, the plain converter's table must equal the program's byte for byte.
#
# Exit status: 0 when every goal is met on every grid and place, 1 when any is missed (a
# line "N of M goals not met" says how many), 2 when it cannot measure (a missing build, a
# failed run, a table that differs).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
runs=5
if [ "${1:-}" = "-n" ]; then
  runs=$2
  shift 2
fi
grids=("$@")
[ ${#grids[@]} -gt 0 ] || grids=(100x100x100 200x200x200)
build=${BUILD_DIR:-$here/../build/release}
program=${PROGRAM:-$build/src/app/cellcentrify}
plain=$build/bench/plain_converter
floor=$build/bench/io_floor
places=("tmpfs:${TMPFS_DIR:-/dev/shm}" "disk:${DISK_DIR:-$here/../build}")
for tool in "$program" "$plain" "$floor"; do
  [ -x "$tool" ] || { echo "missing $tool: build the release preset first" >&2; exit 2; }
done

work_dirs=()
cleanup() { [ ${#work_dirs[@]} -eq 0 ] || rm -rf "${work_dirs[@]}"; }
trap cleanup EXIT

. "$here/grid_inputs.sh"
origin="500000.0 7000000.0 250.0"  # map coordinates: centres of seven significant digits

# One run of a command, its output discarded: "WALL CPU" in milliseconds.
measure() {
  local TIMEFORMAT='%3R %3U %3S' times
  times=$({ time "$@" > /dev/null 2>&1; } 2>&1) || { echo "failed: $*" >&2; exit 2; }
  awk '{ printf "%.0f %.0f\n", $1 * 1000, ($2 + $3) * 1000 }' <<< "$times"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# The median of the per-round ratios a/b of one figure: ratio wall|cpu a b
ratio() {
  local -n figure=$1
  paste -d' ' <(printf '%s\n' ${figure[$2]}) <(printf '%s\n' ${figure[$3]}) |
    awk '{ print ($2 > 0 ? $1 / $2 : 0) }' | median
}

names=(buffered default plain blocks records)
goals=0
missed=0
for grid in "${grids[@]}"; do
  IFS=x read -r nx ny nz <<< "$grid"
  cells=$((nx * ny * nz))
  bytes=$((cells * 66))
  for place in "${places[@]}"; do
    label=${place%%:*}
    dir=$(mktemp -d -p "${place#*:}" speed-ratios.XXXXXX)
    work_dirs+=("$dir")
    grid_inputs "$dir" "$nx" "$ny" "$nz" "$origin"
    XIOT_BUFFERED=true "$program" "$dir/mesh" "$dir/model" "$dir/table"
    "$plain" "$dir/mesh" "$dir/model" "$dir/plain"
    [ "$(stat -c %s "$dir/table")" -eq "$bytes" ] || { echo "the table is not $bytes bytes" >&2; exit 2; }
    cmp -s "$dir/table" "$dir/plain" || { echo "the plain converter's table differs from the program's" >&2; exit 2; }
    rm -f "$dir/table" "$dir/plain"

    declare -A wall=() cpu=()
    for ((round = 0; round <= runs; round++)); do
      for name in "${names[@]}"; do
        rm -f "$dir/out"
        case $name in
          buffered) t=$(measure env XIOT_BUFFERED=true "$program" "$dir/mesh" "$dir/model" "$dir/out") ;;
          default) t=$(measure "$program" "$dir/mesh" "$dir/model" "$dir/out") ;;
          plain) t=$(measure "$plain" "$dir/mesh" "$dir/model" "$dir/out") ;;
          blocks) t=$(measure "$floor" blocks "$dir/model" "$bytes" "$dir/out") ;;
          records) t=$(measure "$floor" records "$cells" "$dir/out") ;;
        esac
        if [ "$round" -gt 0 ]; then  # round 0 warms up and is not counted
          wall[$name]+="${t% *} "
          cpu[$name]+="${t#* } "
        fi
      done
    done
    rm -rf "$dir"

    echo "== $cells cells ($grid) on $label (${place#*:}), medians of $runs runs"
    printf '  %-9s %9s %9s %9s\n' run "wall ms" "ns/cell" "cpu ms"
    for name in "${names[@]}"; do
      awk -v n="$name" -v w="$(printf '%s\n' ${wall[$name]} | median)" -v c="$(printf '%s\n' ${cpu[$name]} | median)" \
        -v cells="$cells" 'BEGIN { printf "  %-9s %9.0f %9.1f %9.0f\n", n, w, w * 1e6 / cells, c }'
    done
    for goal in "buffered plain 0.2" "buffered blocks -" "default records 1.15"; do
      read -r a b limit <<< "$goal"
      w=$(ratio wall "$a" "$b")
      awk -v a="$a" -v b="$b" -v l="$limit" -v w="$w" -v c="$(ratio cpu "$a" "$b")" 'BEGIN {
        verdict = l == "-" ? "" : sprintf("goal <= %-4s %-8s", l, w <= l ? "met" : "not met")
        printf "  %-8s / %-8s %6.2f x  %-22s (cpu %5.2f x)\n", a, b, w, verdict, c }'
      [ "$limit" != - ] || continue
      goals=$((goals + 1))
      awk -v w="$w" -v l="$limit" 'BEGIN { exit !(w <= l) }' || missed=$((missed + 1))
    done
    cpuRatio=$(ratio cpu buffered blocks)
    awk -v r="$cpuRatio" 'BEGIN {
      printf "  buffered / blocks  cpu %5.2f x  goal <= 2.5  %s\n", r, r <= 2.5 ? "met" : "not met" }'
    goals=$((goals + 1))
    awk -v r="$cpuRatio" 'BEGIN { exit !(r <= 2.5) }' || missed=$((missed + 1))
    unset wall cpu
  done
done
if [ "$missed" -gt 0 ]; then
  echo "$missed of $goals goals not met"
  exit 1
fi
echo "all $goals goals met"
