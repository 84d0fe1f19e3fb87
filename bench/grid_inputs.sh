# Sourced by the timing scripts of bench/: writes the inputs of a timed conversion.
#
#   grid_inputs DIR NX NY NZ [ORIGIN]
#
# DIR/mesh: NX x NY x NZ cells of 25 x 25 x 10 from ORIGIN ("x0 y0 z0", default "0 0 0");
# DIR/model: one typical value per cell: a few digits, exponent forms of both cases,
# negative values.
grid_inputs() {
  printf '%d %d %d\n%s\n%d*25.0\n%d*25.0\n%d*10.0\n' "$2" "$3" "$4" "${5:-0 0 0}" "$2" "$3" "$4" > "$1/mesh"
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
