# Writes COUNT small random conversion cases, each a folder CASES/N with a mesh and a
# model: cell counts 0 to 4 per axis, corners and widths of every number form the reader
# takes (repeat counts included; subnormal, near the smallest normal number and near the
# largest double among them), and model values from zero and subnormal to 3-digit
# exponents, long digit strings, infinities and NaN, with blank lines and nulls between.
# Usage: awk -v cases=DIR -v count=N -v seed=S -f tools/random-models.awk
function pick(n) { return int(rand() * n) }
function digits(n,   text, i) {
  text = ""
  for (i = 0; i < n; ++i) text = text pick(10)
  return text
}
function sign() { return pick(3) == 0 ? "-" : (pick(4) == 0 ? "+" : "") }
function exponent(largest,   letter) {
  letter = substr("EeDd", 1 + pick(4), 1)
  return letter (pick(2) ? "-" : "+") pick(largest + 1)
}
function number(largest,   form) {
  form = pick(12)
  if (form == 0) return sign() digits(1 + pick(6))
  if (form == 1) return sign() digits(1 + pick(4)) "." digits(pick(6))
  if (form == 2) return sign() "." digits(1 + pick(8))
  if (form == 3) return sign() digits(17 + pick(12)) "." digits(pick(10)) exponent(largest)
  if (form == 4) return sign() "0." digits(pick(4)) exponent(largest)
  if (form == 5) return sign() digits(1) "." digits(pick(18)) "-" pick(320)  # exponent without its letter
  return sign() digits(1) "." digits(1 + pick(16)) exponent(largest)
}
# A magnitude where flushing to zero and overflow decide: near the smallest normal
# number (2.2250738585072014e-308), subnormal, or near the largest double.
function extreme(   form) {
  form = pick(6)
  if (form == 0) return substr("2.2250738585072014e-308 4.4501477170144028e-308 2.2250738585072009e-308 4.9406564584124654e-324 1.7976931348623157e+308", 1 + 24 * pick(5), 23)
  if (form == 1) return digits(1) "." digits(1 + pick(16)) "e-" (305 + pick(20))
  if (form == 2) return digits(1) "." digits(1 + pick(16)) "e+" (300 + pick(9))
  return "2." digits(1 + pick(16)) "e-308"
}
function corner() { return pick(6) == 0 ? sign() extreme() : number(6) }
function width() {
  if (pick(6) == 0) return extreme()
  return digits(1 + pick(3)) "." digits(pick(4)) (pick(3) == 0 ? exponent(3) : "")
}
function widths(n, file,   i, line, left, run) {
  line = ""
  for (i = 0; i < n; i += run) {
    left = n - i
    run = (pick(4) == 0 && left > 1) ? 2 + pick(left - 1) : 1
    line = line (line == "" ? "" : (pick(2) ? " " : ",")) (run > 1 ? run "*" : "") width()
  }
  print line > file
}
function value(   form) {
  form = pick(60)
  if (form == 0) return substr("Inf     -Inf    NaN     Infinity", 1 + 8 * pick(4), 8)
  if (form == 1) return ","
  if (form == 2) return "0"
  if (form == 3) return "-0.0"
  if (form < 10) return number(330)  # subnormal, zero after the flush, and overflow
  return number(40)
}
BEGIN {
  srand(seed)
  for (c = 1; c <= count; ++c) {
    dir = cases "/" c
    system("mkdir -p '" dir "'")
    mesh = dir "/mesh"
    model = dir "/model"
    nx = pick(5); ny = pick(5); nz = pick(5)
    if (pick(8) != 0) { nx += !nx; ny += !ny; nz += !nz }
    print nx " " ny " " nz > mesh
    print corner() " " corner() " " corner() > mesh
    widths(nx > 0 ? nx : 1, mesh); widths(ny > 0 ? ny : 1, mesh); widths(nz > 0 ? nz : 1, mesh)
    close(mesh)
    cells = nx * ny * nz
    for (i = 0; i < cells; ++i) {
      if (pick(20) == 0) print "" > model
      print value() (pick(5) == 0 ? " 7 extra" : "") > model
    }
    printf "" > model
    close(model)
  }
}
