#!/usr/bin/env bash
# End-to-end timing of a whole conversion, next to two floors measured in the same run.
#
#   bench/conversion_bench.sh [NX NY NZ] [BINARY]
#
# Generates a mesh of NX x NY x NZ cells (default 200 x 200 x 100 = 4 million) and a model
# of typical values in a temporary directory, then times:
#   1. the conversion with the default unbuffered output (one write call per record),
#   2. the conversion with XIOT_BUFFERED=true (block-sized writes),
#   3. floor A: the same number of 66-byte write calls to a file (dd bs=66),
#   4. floor B: reading the model file and writing the table's size in 128 KiB blocks.
set -euo pipefail
nx=${1:-200}
ny=${2:-200}
nz=${3:-100}
binary=${4:-"$(dirname "$0")/../build/release/src/app/cellcentrify"}
cells=$((nx * ny * nz))
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

. "$(dirname "$0")/grid_inputs.sh"
grid_inputs "$work" "$nx" "$ny" "$nz"

seconds() { # command... -> wall-clock seconds of the command
  local start end
  start=$(date +%s.%N)
  "$@" > /dev/null
  end=$(date +%s.%N)
  echo "$end - $start" | bc -l
}
report() { # label seconds
  printf '%-44s %8.3f s  %7.1f ns/cell\n' "$1" "$2" "$(echo "$2 * 1000000000 / $cells" | bc -l)"
}

echo "cells: $cells ($nx x $ny x $nz), model $(stat -c %s "$work/model") bytes"
report "conversion, unbuffered (default)" "$(seconds "$binary" "$work/mesh" "$work/model" "$work/table")"
table_bytes=$(stat -c %s "$work/table")
[ "$table_bytes" -eq $((cells * 66)) ] || { echo "table has $table_bytes bytes, expected $((cells * 66))" >&2; exit 1; }
report "conversion, XIOT_BUFFERED=true" "$(seconds env XIOT_BUFFERED=true "$binary" "$work/mesh" "$work/model" "$work/table")"
report "floor A: $cells writes of 66 bytes" "$(seconds dd if=/dev/zero of="$work/floor" bs=66 count="$cells" status=none)"
floor_b() {
  dd if="$work/model" of=/dev/null bs=128K status=none
  dd if=/dev/zero of="$work/floor" bs=128K count=$(((table_bytes + 131071) / 131072)) status=none
}
report "floor B: read model + write table, 128 KiB" "$(seconds floor_b)"
