// Point-table records: the formatted writer against a plain std::to_chars loop that
// lays out the same 64 characters.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "app/formats.h"
#include "recio/format/edit.h"
#include "recio/format/formatted_writer.h"
#include "recio/units/unit_table.h"

namespace {

constexpr std::int32_t kBenchUnit = 1;
constexpr std::size_t kRecordLength = 64;
constexpr std::int64_t kRecords = 10'000'000;

struct PointRecord {
  double values[4];
};

// Cell centres of a mesh with 12.5 m cells around a survey origin, elevations below
// it, and model values spread over several decades, as in real tables.
std::vector<PointRecord> typicalRecords() {
  std::mt19937_64 random(42);
  std::uniform_int_distribution<int> cell(0, 400);
  std::uniform_real_distribution<double> decades(-3.0, 4.0);
  std::vector<PointRecord> records(4096);
  for (PointRecord& record : records) {
    record.values[0] = 431250.0 + 12.5 * cell(random) + 6.25;
    record.values[1] = 7120000.0 + 12.5 * cell(random) + 6.25;
    record.values[2] = 350.0 - (6.25 + 12.5 * cell(random));
    record.values[3] = std::pow(10.0, decades(random));
  }
  return records;
}

void BM_FormattedWriter(benchmark::State& state) {
  const bool buffered = state.range(0) != 0;
  ::setenv("XIOT_BUFFERED", buffered ? "1" : "0", 1);
  static const char kPath[] = "/dev/null";
  recio::OpenRequest request;
  request.unitNumber = kBenchUnit;
  request.fileName = kPath;
  request.fileNameLength = sizeof kPath - 1;
  request.status = recio::kStatusUnknown;
  request.action = recio::kActionWrite;
  request.handlesErrors = true;
  if (recio::openUnit(request) != 0) {
    state.SkipWithError("cannot open /dev/null");
    return;
  }
  const std::vector<PointRecord> records = typicalRecords();
  std::size_t next = 0;
  recio::FormattedWriter writer;
  for (auto _ : state) {
    const PointRecord& record = records[next];
    next = (next + 1) % records.size();
    writer.begin(kBenchUnit, app::kPointTableFormat);
    for (int item = 0; item < 4; ++item) {
      const bool last = item == 3;
      writer.transfer(recio::realItem(record.values[item], last ? recio::kFollowLast : recio::kFollowMore));
    }
  }
  recio::closeUnit(kBenchUnit, true);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormattedWriter)->Arg(0)->Arg(1)->Iterations(kRecords)->Unit(benchmark::kNanosecond);

// Ew.d with k = 1 through std::to_chars: d.ddd...e+XX, rewritten to the field layout.
char* plainField(char* field, double value, int width, int fractionDigits) {
  char text[32];
  const std::to_chars_result result =
      std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, fractionDigits);
  char* letter = static_cast<char*>(std::memchr(text, 'e', static_cast<std::size_t>(result.ptr - text)));
  const std::size_t mantissaLength = static_cast<std::size_t>(letter - text);
  const std::size_t exponentDigits = static_cast<std::size_t>(result.ptr - letter) - 2;
  const std::size_t length = mantissaLength + 4;
  std::memset(field, ' ', static_cast<std::size_t>(width) - length);
  char* out = field + width - length;
  std::memcpy(out, text, mantissaLength);
  out += mantissaLength;
  if (exponentDigits == 2) {
    *out++ = 'E';
    std::memcpy(out, letter + 1, 3);
  } else {
    std::memcpy(out, letter + 1, 4);
  }
  return field + width;
}

char* plainRecord(char* record, const PointRecord& values) {
  char* out = plainField(record, values.values[0], 17, 9);
  out = plainField(out, values.values[1], 17, 9);
  out = plainField(out, values.values[2], 17, 9);
  return plainField(out, values.values[3], 13, 5);
}

void BM_PlainToChars(benchmark::State& state) {
  const std::vector<PointRecord> records = typicalRecords();
  // Both loops must produce the same characters for the comparison to mean anything.
  for (const PointRecord& record : records) {
    char plain[kRecordLength];
    char edited[kRecordLength];
    plainRecord(plain, record);
    for (int item = 0; item < 3; ++item) {
      recio::format::editReal(record.values[item], 17, 9, 1, edited + 17 * item);
    }
    recio::format::editReal(record.values[3], 13, 5, 1, edited + 51);
    if (std::memcmp(plain, edited, kRecordLength) != 0) {
      state.SkipWithError(("records differ: " + std::string(plain, kRecordLength)).c_str());
      return;
    }
  }
  char buffer[kRecordLength + 2];
  std::size_t next = 0;
  for (auto _ : state) {
    char* end = plainRecord(buffer, records[next]);
    end[0] = '\r';
    end[1] = '\n';
    next = (next + 1) % records.size();
    benchmark::DoNotOptimize(buffer);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_PlainToChars)->Iterations(kRecords)->Unit(benchmark::kNanosecond);

}  // namespace
