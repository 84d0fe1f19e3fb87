// Model-file reading: one free-format statement per line, one by one and as a run
// (readStatements, which the model reader runs), against a plain std::from_chars loop
// over the same lines held in memory.
#include <benchmark/benchmark.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>

#include <unistd.h>

#include "recio/decimal/decimal.h"
#include "recio/outcome.h"
#include "recio/reader/read_ahead_policy.h"
#include "recio/reader/read_statements.h"
#include "recio/reader/reader.h"
#include "recio/transfer.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"

namespace {

constexpr std::int32_t kBenchUnit = 1;

// READER_BENCH_LINES shortens the file, e.g. for a run under a profiler.
std::int64_t lineCount() {
  const char* text = std::getenv("READER_BENCH_LINES");
  const std::int64_t count = text != nullptr ? std::atoll(text) : 0;
  return count > 0 ? count : 10'000'000;
}

// Values as model files hold them: short fixed-point numbers, short exponent forms
// and long signed mantissas with an exponent.
std::string typicalLine(std::mt19937_64& random) {
  char line[64];
  const std::uint64_t bits = random();
  const unsigned digits = static_cast<unsigned>(bits >> 8);
  switch (bits % 3) {
    case 0:
      std::snprintf(line, sizeof line, "0.0%03u\n", digits % 1000);
      break;
    case 1:
      std::snprintf(line, sizeof line, "%u.%uE-0%u\n", 1 + digits % 9, digits / 9 % 10, 1 + digits / 90 % 9);
      break;
    default:
      std::snprintf(line, sizeof line, "-%u.%07ue+0%u\n", 1 + digits % 9, digits / 9 % 10'000'000,
                    digits / 90'000'000 % 10);
      break;
  }
  return line;
}

// The model file, written once per run into a directory of its own and removed at exit.
class ModelFile {
 public:
  ModelFile() {
    directory_ = std::filesystem::temp_directory_path() / ("cellcentrify-reader-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(directory_);
    path_ = (directory_ / "model.txt").string();
    std::mt19937_64 random(20240611);
    std::ofstream out(path_, std::ios::binary);
    lines_ = lineCount();
    for (std::int64_t line = 0; line < lines_; ++line) out << typicalLine(random);
  }
  ~ModelFile() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
  }

  const std::string& path() const { return path_; }
  std::int64_t lines() const { return lines_; }

  static const ModelFile& instance() {
    static const ModelFile file;
    return file;
  }

 private:
  std::filesystem::path directory_;
  std::string path_;
  std::int64_t lines_ = 0;
};

void reportPerValue(benchmark::State& state, std::int64_t values) {
  state.SetItemsProcessed(state.iterations() * values);
  state.counters["per_value"] = benchmark::Counter(
      static_cast<double>(values), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// Connects the bench unit to the model file for reading, as the model reader does.
bool openModelFile(benchmark::State& state, const ModelFile& file) {
  recio::OpenRequest request;
  request.unitNumber = kBenchUnit;
  request.fileName = file.path().data();
  request.fileNameLength = file.path().size();
  request.status = recio::kStatusOld;
  request.action = recio::kActionRead;
  request.handlesErrors = true;
  if (recio::openUnit(request) == 0) return true;
  state.SkipWithError("cannot open the model file");
  return false;
}

void BM_ReaderModelFile(benchmark::State& state) {
  const ModelFile& file = ModelFile::instance();
  recio::FreeFormatReader reader;
  double value = 0.0;
  const recio::LengthAddressBlock block = recio::realArrayBlock(&value, 1);
  const recio::TransferItem item = recio::arrayItem(recio::kTypeReal64, block, recio::kFollowLast);
  const std::uint32_t options = recio::kHandlesErrors | recio::kHandlesEndOfFile;
  for (auto _ : state) {
    if (!openModelFile(state, file)) return;
    double sum = 0.0;
    for (std::int64_t line = 0; line < file.lines(); ++line) {
      if (reader.beginStatement(kBenchUnit, options, item) != 0) {
        state.SkipWithError("read statement failed");
        break;
      }
      sum += value;
    }
    benchmark::DoNotOptimize(sum);
    recio::closeUnit(kBenchUnit, true);
  }
  reportPerValue(state, file.lines());
}
BENCHMARK(BM_ReaderModelFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// Every statement's target is the same double: the run's statements alone, as the
// loop above runs them, so that the two differ only by how the targets are handed over.
class SameTarget final : public recio::StatementTargets {
 public:
  explicit SameTarget(double& value) : value_(value) {}
  void fill(std::uint64_t, std::size_t count, double** targets) const override {
    for (std::size_t statement = 0; statement < count; ++statement) targets[statement] = &value_;
  }

 private:
  double& value_;
};

void BM_ReadStatementsModelFile(benchmark::State& state) {
  const ModelFile& file = ModelFile::instance();
  double value = 0.0;
  const SameTarget target(value);
  recio::overrideReadAheadPolicyForTests({.allowed = false});  // the statements alone
  for (auto _ : state) {
    if (!openModelFile(state, file)) return;
    const recio::IoOutcome outcome = recio::readStatements(kBenchUnit, recio::kHandlesErrors | recio::kHandlesEndOfFile,
                                                           static_cast<std::uint64_t>(file.lines()), target);
    if (outcome != 0) state.SkipWithError("read statement failed");
    benchmark::DoNotOptimize(value);
    recio::closeUnit(kBenchUnit, true);
  }
  recio::overrideReadAheadPolicyForTests({});
  reportPerValue(state, file.lines());
}
BENCHMARK(BM_ReadStatementsModelFile)->Unit(benchmark::kMillisecond)->UseRealTime();

// The model file's text in memory, and a loop over its lines: the baselines that read
// no file.
const std::string& modelText() {
  static const std::string text = [] {
    std::ifstream in(ModelFile::instance().path(), std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
  }();
  return text;
}

template <class ConvertLine>
double sumOfLines(const std::string& text, ConvertLine convert) {
  double sum = 0.0;
  const char* at = text.data();
  const char* const end = at + text.size();
  while (at < end) {
    const char* lineEnd = static_cast<const char*>(std::memchr(at, '\n', static_cast<std::size_t>(end - at)));
    if (lineEnd == nullptr) lineEnd = end;
    sum += convert(at, lineEnd);
    at = lineEnd + 1;
  }
  return sum;
}

void BM_FromCharsLines(benchmark::State& state) {
  const std::string& text = modelText();
  for (auto _ : state) {
    benchmark::DoNotOptimize(sumOfLines(text, [](const char* begin, const char* end) {
      double value = 0.0;
      std::from_chars(begin, end, value);
      return value;
    }));
  }
  reportPerValue(state, ModelFile::instance().lines());
}
BENCHMARK(BM_FromCharsLines)->Unit(benchmark::kMillisecond)->UseRealTime();

// The conversions the reader calls, alone, over the same lines: the part of the
// reader's time that is not its own.
void BM_ParseReal64Lines(benchmark::State& state) {
  const std::string& text = modelText();
  for (auto _ : state) {
    benchmark::DoNotOptimize(sumOfLines(text, [](const char* begin, const char* end) {
      return recio::decimal::parseReal64(begin, static_cast<std::size_t>(end - begin)).value;
    }));
  }
  reportPerValue(state, ModelFile::instance().lines());
}
BENCHMARK(BM_ParseReal64Lines)->Unit(benchmark::kMillisecond)->UseRealTime();

// What every read statement costs before the reader scans a byte: the unit taken and
// given back, the next record cut from the file, and the conversion of the whole
// record. The reader's own share is the difference to BM_ReaderModelFile.
void BM_UnitRecordsAndConversion(benchmark::State& state) {
  const ModelFile& file = ModelFile::instance();
  for (auto _ : state) {
    if (!openModelFile(state, file)) return;
    double sum = 0.0;
    for (;;) {
      recio::Unit* unit = recio::acquireUnit(kBenchUnit);
      if (unit->getRecord() != 0) {
        recio::releaseUnit(*unit);
        break;
      }
      const recio::RecordText record = unit->currentRecord();
      sum += recio::decimal::parseReal64(record.begin, static_cast<std::size_t>(record.end - record.begin)).value;
      recio::releaseUnit(*unit);
    }
    benchmark::DoNotOptimize(sum);
    recio::closeUnit(kBenchUnit, true);
  }
  reportPerValue(state, file.lines());
}
BENCHMARK(BM_UnitRecordsAndConversion)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
