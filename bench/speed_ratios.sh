#!/usr/bin/env bash
# The conversion's speed as ratios to its yardsticks, all measured side by side in one
# sitting, and checked against the goals:
#   XIOT_BUFFERED=true   <= 0.33 x the plain converter and <= 4 x the block floor
#   default              <= 1.3 x the floor of one 66-byte write call per record
#
#   bench/speed_ratios.sh [-n RUNS] [NXxNYxNZ ...]
#
# Defaults: 5 counted runs after one warm-up, grids 100x100x100 (1M cells) and 200x200x200
# (8M cells). Each grid is measured on tmpfs (TMPFS_DIR, default /dev/shm) and on the disk
# (DISK_DIR, default the build directory of this checkout); BUILD_DIR (default
# build/release) holds the program and the yardsticks of bench/CMakeLists.txt:
#   plain     bench/plain_converter: std::from_chars in, std::to_chars out, one stdio stream
#   blocks    io_floor blocks: read the model, write the table's bytes in 128 KiB blocks
#   records   io_floor records: one 66-byte write call per record
# Within a round the five commands run one after another, and every ratio is taken within
# a round before the median is taken, so a machine that drifts in speed moves both sides.
# Before timing, the plain converter's table must equal the program's byte for byte.
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
program=$build/src/app/cellcentrify
plain=$build/bench/plain_converter
floor=$build/bench/io_floor
places=("tmpfs:${TMPFS_DIR:-/dev/shm}" "disk:${DISK_DIR:-$here/../build}")
for tool in "$program" "$plain" "$floor"; do
  [ -x "$tool" ] || { echo "missing $tool: build the release preset first" >&2; exit 1; }
done

work_dirs=()
cleanup() { [ ${#work_dirs[@]} -eq 0 ] || rm -rf "${work_dirs[@]}"; }
trap cleanup EXIT

# The mesh and model of an NX x NY x NZ grid with typical values: cells of 25 x 25 x 10,
# model values of a few digits in plain and exponent forms of both cases, negatives too.
generate() { # dir nx ny nz
  printf '%d %d %d\n500000.0 7000000.0 250.0\n%d*25.0\n%d*25.0\n%d*10.0\n' "$2" "$3" "$4" "$2" "$3" "$4" > "$1/mesh"
  awk -v n=$(($2 * $3 * $4)) 'BEGIN {
    srand(12345)
    for (c = 0; c < n; c++) {
      r = rand()
      if (c % 3 == 0) printf "%.4f\n", r / 10
      else if (c % 3 == 1) printf "%.1E\n", r / 100
      else printf "%.7e\n", -r * 1000
    }
  }' > "$1/model"
}

nanoseconds() { # command... -> wall-clock nanoseconds of one run, output discarded
  local start end
  start=$(date +%s%N)
  "$@" > /dev/null 2>&1 || { echo "failed: $*" >&2; exit 1; }
  end=$(date +%s%N)
  echo $((end - start))
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

verdict() { # ratio limit
  awk -v r="$1" -v l="$2" 'BEGIN { printf "%6.2f x  (goal <= %s: %s)", r, l, r <= l ? "met" : "not met" }'
}

names=(buffered default plain blocks records)
for grid in "${grids[@]}"; do
  IFS=x read -r nx ny nz <<< "$grid"
  cells=$((nx * ny * nz))
  bytes=$((cells * 66))
  for place in "${places[@]}"; do
    label=${place%%:*}
    dir=$(mktemp -d -p "${place#*:}" speed-ratios.XXXXXX)
    work_dirs+=("$dir")
    generate "$dir" "$nx" "$ny" "$nz"
    XIOT_BUFFERED=true "$program" "$dir/mesh" "$dir/model" "$dir/table"
    "$plain" "$dir/mesh" "$dir/model" "$dir/plain"
    [ "$(stat -c %s "$dir/table")" -eq "$bytes" ] || { echo "the table is not $bytes bytes" >&2; exit 1; }
    cmp -s "$dir/table" "$dir/plain" || { echo "the plain converter's table differs from the program's" >&2; exit 1; }
    rm -f "$dir/table" "$dir/plain"

    declare -A times=()
    for ((round = 0; round <= runs; round++)); do  # round 0 warms up and is not counted
      for name in "${names[@]}"; do
        rm -f "$dir/out"
        case $name in
          buffered) t=$(nanoseconds env XIOT_BUFFERED=true "$program" "$dir/mesh" "$dir/model" "$dir/out") ;;
          default) t=$(nanoseconds "$program" "$dir/mesh" "$dir/model" "$dir/out") ;;
          plain) t=$(nanoseconds "$plain" "$dir/mesh" "$dir/model" "$dir/out") ;;
          blocks) t=$(nanoseconds "$floor" blocks "$dir/model" "$bytes" "$dir/out") ;;
          records) t=$(nanoseconds "$floor" records "$cells" "$dir/out") ;;
        esac
        [ "$round" -eq 0 ] || times[$name]+="$t "
      done
    done
    rm -f "$dir/out"

    echo "== $cells cells ($grid) on $label (${place#*:}), medians of $runs runs"
    for name in "${names[@]}"; do
      ms=$(printf '%s\n' ${times[$name]} | median)
      awk -v n="$name" -v t="$ms" -v c="$cells" 'BEGIN { printf "  %-9s %9.1f ms %8.1f ns/cell\n", n, t / 1e6, t / c }'
    done
    ratio() { # a b -> median of the per-round ratios a/b
      paste -d' ' <(printf '%s\n' ${times[$1]}) <(printf '%s\n' ${times[$2]}) | awk '{ print $1 / $2 }' | median
    }
    echo "  buffered / plain    $(verdict "$(ratio buffered plain)" 0.33)"
    echo "  buffered / blocks   $(verdict "$(ratio buffered blocks)" 4)"
    echo "  default  / records  $(verdict "$(ratio default records)" 1.3)"
    unset times
    rm -rf "$dir"
  done
done
