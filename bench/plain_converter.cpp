// The yardstick for the conversion's speed: what a plain C++ converter does with the
// standard library alone. It reads the mesh and the model with std::from_chars and
// writes the same point table with std::to_chars, through one stdio stream.
//
//   plain_converter MESH MODEL TABLE
//
// It handles the inputs bench/speed_ratios.sh generates (blank- or comma-separated
// values, `n*value` repeats in the mesh, one value per model line) and nothing else:
// no null values, no slashes, no error messages. On those inputs its table is byte for
// byte the program's, which the script checks before timing either.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string readFile(const char* name) {
  std::string text;
  std::FILE* file = std::fopen(name, "rb");
  if (file == nullptr) return text;
  char block[1 << 16];
  for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) text.append(block, got);
  std::fclose(file);
  return text;
}

bool isSeparator(char c) { return c == ' ' || c == '\t' || c == ',' || c == '\r' || c == '\n'; }

// Values of the mesh file in order, with `n*value` expanded.
std::vector<double> meshValues(const std::string& text) {
  std::vector<double> values;
  const char* cursor = text.data();
  const char* end = cursor + text.size();
  while (cursor < end) {
    while (cursor < end && isSeparator(*cursor)) ++cursor;
    const char* token = cursor;
    while (cursor < end && !isSeparator(*cursor)) ++cursor;
    if (token == cursor) break;
    const char* star = std::find(token, cursor, '*');
    long repeat = 1;
    if (star != cursor) {
      std::from_chars(token, star, repeat);
      token = star + 1;
    }
    double value = 0;
    std::from_chars(token, cursor, value);
    values.insert(values.end(), static_cast<std::size_t>(repeat), value);
  }
  return values;
}

// Centres as the program computes them: running sums of the widths, then the mean of
// neighbouring nodes. `sign` -1 turns widths counted downward into falling elevations.
std::vector<double> centres(double origin, const double* widths, std::size_t count, double sign) {
  std::vector<double> result(count);
  double node = origin;
  for (std::size_t i = 0; i < count; ++i) {
    const double next = sign > 0 ? node + widths[i] : node - widths[i];
    result[i] = 0.5 * (node + next);
    node = next;
  }
  return result;
}

// An Ew.d field with one digit before the point: to_chars' scientific form with the
// letter in upper case, dropped before a three-digit exponent, zero without its sign.
char* field(char* out, double value, int width, int fraction) {
  char text[32];
  if (value == 0) value = 0;  // -0.0 prints as 0.0
  char* last = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, fraction).ptr;
  char* letter = std::find(text, last, 'e');
  if (letter != last) {
    if (last - letter == 5) {  // e+ddd
      std::memmove(letter, letter + 1, 4);
      --last;
    } else {
      *letter = 'E';
    }
  } else {  // inf, -inf, nan
    const bool negative = text[0] == '-';
    const char* word = text[negative ? 1 : 0] == 'i' ? (negative ? "-Infinity" : "Infinity") : "NaN";
    last = text + std::strlen(word);
    std::memcpy(text, word, static_cast<std::size_t>(last - text));
  }
  const auto length = static_cast<int>(last - text);
  std::memset(out, ' ', static_cast<std::size_t>(width - length));
  std::memcpy(out + width - length, text, static_cast<std::size_t>(length));
  return out + width;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fputs("usage: plain_converter MESH MODEL TABLE\n", stderr);
    return 1;
  }
  const std::vector<double> mesh = meshValues(readFile(argv[1]));
  if (mesh.size() < 6) return 1;
  const auto nx = static_cast<std::size_t>(mesh[0]);
  const auto ny = static_cast<std::size_t>(mesh[1]);
  const auto nz = static_cast<std::size_t>(mesh[2]);
  if (mesh.size() < 6 + nx + ny + nz) return 1;
  const std::vector<double> xc = centres(mesh[3], &mesh[6], nx, 1);
  const std::vector<double> yc = centres(mesh[4], &mesh[6 + nx], ny, 1);
  const std::vector<double> zc = centres(mesh[5], &mesh[6 + nx + ny], nz, -1);

  // Model values in file order (y, then x, then z fastest): the first value of each
  // line that holds one.
  std::vector<double> model(nx * ny * nz);
  const std::string text = readFile(argv[2]);
  const char* cursor = text.data();
  const char* end = cursor + text.size();
  for (double& value : model) {
    while (cursor < end && isSeparator(*cursor)) ++cursor;
    const char* token = cursor;
    while (cursor < end && !isSeparator(*cursor)) ++cursor;
    std::from_chars(token, cursor, value);
    cursor = std::find(cursor, end, '\n');
  }

  // Whole lines are gathered into blocks, so that the stream's own locking and copying
  // are paid once a block rather than once a line.
  std::FILE* table = std::fopen(argv[3], "wb");
  if (table == nullptr) return 1;
  constexpr std::size_t kLineLength = 66;
  std::vector<char> block(kLineLength * 2048);
  char* out = block.data();
  for (std::size_t k = nz; k-- > 0;) {
    for (std::size_t j = 0; j < ny; ++j) {
      for (std::size_t i = 0; i < nx; ++i) {
        out = field(out, xc[i], 17, 9);
        out = field(out, yc[j], 17, 9);
        out = field(out, zc[k], 17, 9);
        out = field(out, model[(j * nx + i) * nz + k], 13, 5);
        std::memcpy(out, "\r\n", 2);
        out += 2;
        if (out == block.data() + block.size()) {
          std::fwrite(block.data(), 1, block.size(), table);
          out = block.data();
        }
      }
    }
  }
  std::fwrite(block.data(), 1, static_cast<std::size_t>(out - block.data()), table);
  return std::fclose(table) == 0 ? 0 : 1;
}
