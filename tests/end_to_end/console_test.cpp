// Free-format message lines and the console unit: the exact wrapping of items into
// records, and the bytes that reach standard output (or the XIO_PRINT file) with the
// console's settings. The console is process-wide state, so everything about it is seen
// from a probe run as a child process; the wrapping itself is also checked in-process on
// a file unit of any line length.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "recio/free_output/free_format_writer.h"
#include "recio/transfer.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"
#include "support/run_program.h"
#include "support/sanitizer.h"
#include "support/temp_dir.h"
#include "support/unit_access.h"

namespace {

using testing_support::readFile;
using testing_support::RunResult;
using testing_support::runScript;
using testing_support::TempDir;

const std::string kMeshLiteral = " Error: Mesh file not found: ";
const std::string kModelLiteral = " Error: Model file not found: ";
const std::string kUsageRecord = "  Usage: cellcentrify  mesh model  xyzfile";

// A name whose characters tell their positions apart.
std::string nameOfLength(std::size_t length) {
  static constexpr char kCharacters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name;
  for (std::size_t index = 0; index < length; ++index) name += kCharacters[index % (sizeof kCharacters - 1)];
  return name;
}

std::string crlfRecords(const std::vector<std::string>& records) {
  std::string bytes;
  for (const std::string& record : records) bytes += record + "\r\n";
  return bytes;
}

// --- The usage line of the real program ----------------------------------------------

TEST(UsageLine, IsTheOnlyOutputAndTouchesNoFile) {
  // Counts of 0, 1, 2 and 4, also where blanks or emptiness inside an argument would change
  // the count if the arguments were not handed over whole.
  const std::vector<std::vector<std::string>> argumentLists = {
      {},       {"mesh"},         {"mesh", "model"},     {"mesh", "model", "table", "extra"}, {"two words", "model"},
      {"", ""}, {"", "", "", ""}, {"a\"b", "c \"d\" e"},
  };
  EXPECT_EQ(kUsageRecord.size(), 42u);
  for (const std::vector<std::string>& arguments : argumentLists) {
    SCOPED_TRACE(testing::PrintToString(arguments));
    // wine hands a quote on as \" (the C runtime's convention), which this program's own
    // rules read differently: the quote rules are the Linux build's to test.
    if (testing_support::kUnderWine && arguments == std::vector<std::string>{"a\"b", "c \"d\" e"}) continue;
    TempDir directory;
    const RunResult run = testing_support::runProgram(CELLCENTRIFY_BINARY, arguments, {}, directory.path());
    EXPECT_EQ(run.out, kUsageRecord + "\r\n");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(std::filesystem::is_empty(directory.path()));
  }
}

// The shortest line the console takes is a blank and one character, however short the
// record length set: a line of the blank alone would never make progress through the
// usage line's 41 characters, the first of them a blank.
TEST(UsageLine, ShortestRecordLengthGivesACharacterPerRecord) {
  const std::string item = kUsageRecord.substr(1);
  std::vector<std::string> records;
  for (char c : item) records.push_back(std::string(" ") + c);
  ASSERT_EQ(records.size(), 41u);
  for (const char* length : {"XIOT_FMT_RECL=1", "XIOT_FMT_RECL=2"}) {
    SCOPED_TRACE(length);
    TempDir directory;
    testing_support::StartedProgram program =
        testing_support::startProgram(CELLCENTRIFY_BINARY, {}, {{length}, directory.path(), ""});
    // A run that never ends is cut short; under wine the first run also makes wine's prefix.
    const RunResult run = testing_support::finishProgram(program, testing_support::kUnderWine ? 120 : 10);
    EXPECT_TRUE(run.out == crlfRecords(records)) << run.out.size() << " bytes: " << run.out.substr(0, 200);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.status, 1);
  }
}

// --- Wrapping on the console, as the table of message lines gives it -------------------

struct WrapCase {
  const char* literal;
  std::size_t nameLength;
  std::vector<std::string> records;  // without terminators
};

std::vector<WrapCase> wrapCases() {
  const std::string name100 = nameOfLength(100);
  const std::string mesh = " " + kMeshLiteral;
  const std::string model = " " + kModelLiteral;
  return {
      {kMeshLiteral.c_str(), 0, {mesh}},
      {kMeshLiteral.c_str(), 1, {mesh + nameOfLength(1)}},
      {kMeshLiteral.c_str(), 50, {mesh + nameOfLength(50)}},
      {kMeshLiteral.c_str(), 51, {mesh, " " + nameOfLength(51)}},
      {kMeshLiteral.c_str(), 79, {mesh, " " + nameOfLength(79)}},
      {kMeshLiteral.c_str(), 80, {mesh, " " + name100.substr(0, 79), " " + name100.substr(79, 1)}},
      {kMeshLiteral.c_str(), 100, {mesh, " " + name100.substr(0, 79), " " + name100.substr(79)}},
      {kModelLiteral.c_str(), 0, {model}},
      {kModelLiteral.c_str(), 49, {model + nameOfLength(49)}},
      {kModelLiteral.c_str(), 50, {model, " " + nameOfLength(50)}},
  };
}

TEST(ConsoleWrapping, MessageLinesAsTabled) {
  ASSERT_EQ(kMeshLiteral.size(), 29u);
  ASSERT_EQ(kModelLiteral.size(), 30u);
  for (const WrapCase& wrap : wrapCases()) {
    const RunResult run = runScript({"print", "2", wrap.literal, nameOfLength(wrap.nameLength)});
    EXPECT_EQ(run.out, crlfRecords(wrap.records)) << wrap.literal << " with a name of " << wrap.nameLength;
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
  }
  // The record lengths the table states, counted.
  EXPECT_EQ(crlfRecords(wrapCases()[2].records).size(), 80u + 2);
  EXPECT_EQ(wrapCases()[3].records[1].size(), 52u);
  EXPECT_EQ(wrapCases()[6].records[2].size(), 22u);
}

TEST(ConsoleWrapping, NoWrapMarginKeepsALongNameOnOneRecord) {
  const std::string name = nameOfLength(100);
  for (const char* value : {"y", "yes", "T", "1", "007"}) {
    const RunResult run =
        runScript({"print", "2", kMeshLiteral, name}, {std::string("XIOT_FMT_NO_WRAP_MARGIN=") + value});
    EXPECT_EQ(run.out, " " + kMeshLiteral + name + "\r\n") << value;
  }
  for (const char* value : {"0", "no", "false", ""}) {
    const RunResult run =
        runScript({"print", "2", kMeshLiteral, name}, {std::string("XIOT_FMT_NO_WRAP_MARGIN=") + value});
    EXPECT_EQ(run.out, crlfRecords({" " + kMeshLiteral, " " + name.substr(0, 79), " " + name.substr(79)})) << value;
  }
}

TEST(ConsoleWrapping, NoWrapMarginWrapsAtTheConsoleBufferCapacity) {
  // The console's buffer holds 8192 bytes with the default block settings.
  const std::string item = nameOfLength(8200);
  const RunResult run = runScript({"print", "1", item}, {"XIOT_FMT_NO_WRAP_MARGIN=y"});
  EXPECT_EQ(run.out, crlfRecords({" " + item.substr(0, 8191), " " + item.substr(8191)}));
}

TEST(ConsoleWrapping, RecordLengthSettingGivesTheLineLength) {
  const std::string usage = kUsageRecord.substr(1);
  RunResult run = runScript({"print", "1", usage}, {"XIOT_FMT_RECL=40"});
  EXPECT_EQ(run.out, crlfRecords({" " + usage.substr(0, 39), " " + usage.substr(39)}));
  run = runScript({"print", "2", kMeshLiteral, "abcdefghij"}, {"XIOT_FMT_RECL=35"});
  EXPECT_EQ(run.out, crlfRecords({" " + kMeshLiteral, " abcdefghij"}));
  run = runScript({"print", "2", kMeshLiteral, "abcde"}, {"XIOT_FMT_RECL=35"});
  EXPECT_EQ(run.out, crlfRecords({" " + kMeshLiteral + "abcde"}));
  // An item exactly as long as a line in a fresh record: the blank, then all but its last
  // character, then the last in a record of its own; no record of a lone blank before.
  run = runScript({"print", "1", kMeshLiteral}, {"XIOT_FMT_RECL=29"});
  EXPECT_EQ(run.out, crlfRecords({" " + kMeshLiteral.substr(0, 28), " " + kMeshLiteral.substr(28)}));
}

TEST(ConsoleOutput, ItemsAreWrittenAsTheyAre) {
  const RunResult run = runScript({"print", "3", "He said \"it's\"", "", " 'fine'\ttab"});
  EXPECT_EQ(run.out, " He said \"it's\" 'fine'\ttab\r\n");
}

TEST(ConsoleOutput, ZeroLengthItemsAlone) {
  EXPECT_EQ(runScript({"print", "1", ""}).out, " \r\n");
  EXPECT_EQ(runScript({"print", "2", "", ""}).out, " \r\n");
}

TEST(ConsoleOutput, StatementsAppearInOrderWithTheProbesOwnLines) {
  // Unbuffered, each record is on standard output before the next thing happens.
  const RunResult run = runScript({"print", "1", "first", "mark", "between", "print", "1", "second"});
  EXPECT_EQ(run.out, " first\r\nbetween\n second\r\n");
}

// A file that is there already is replaced: nothing of its longer old contents stays
// after the records.
TEST(ConsoleOutput, PrintFileReceivesTheRecords) {
  for (const bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "an existing longer file" : "a new file");
    TempDir directory;
    const std::string target = directory.file("console.txt");
    if (existing) directory.write("console.txt", std::string(1000, 'o') + "\r\n");
    const RunResult run =
        runScript({"print", "1", "to the file", "print", "2", kMeshLiteral, nameOfLength(60)}, {"XIO_PRINT=" + target});
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(readFile(target), crlfRecords({" to the file", " " + kMeshLiteral, " " + nameOfLength(60)}));
  }
}

TEST(ConsoleOutput, PrintFileThatCannotBeOpenedLeavesStandardOutput) {
  TempDir directory;
  const RunResult run = runScript({"print", "1", "still here"}, {"XIO_PRINT=" + directory.file("missing/console.txt")});
  EXPECT_EQ(run.out, " still here\r\n");
  EXPECT_EQ(run.status, 0);
}

TEST(ConsoleOutput, BufferedConsoleIsWrittenOutAtTheStop) {
  const RunResult run =
      runScript({"print", "1", "one", "print", "1", "two", "mark", "marker"}, {"XIOT_BUFFER_STDOUT=1"});
  // The marker goes past the console unit: the records were still held when it was written.
  EXPECT_EQ(run.out, "marker\n one\r\n two\r\n");
  const RunResult unbuffered = runScript({"print", "1", "one", "mark", "marker"}, {"XIOT_BUFFER_STDOUT=no"});
  EXPECT_EQ(unbuffered.out, " one\r\nmarker\n");
}

TEST(ConsoleOutput, BufferedConsoleWritesFullBlocksAndTheRestAtTheStop) {
  const std::string text = nameOfLength(79);
  // 164 000 bytes: more than any console buffer holds.
  const RunResult run = runScript({"print-repeat", "2000", text, "mark", "marker"}, {"XIOT_BUFFER_STDOUT=yes"});
  const std::string expected = crlfRecords(std::vector<std::string>(2000, " " + text));
  const std::size_t marker = run.out.find("marker\n");
  ASSERT_NE(marker, std::string::npos);
  EXPECT_GT(marker, 0u) << "full blocks are written before the stop";
  EXPECT_LT(marker, expected.size()) << "the last block is held until the stop";
  EXPECT_EQ(run.out.substr(0, marker) + run.out.substr(marker + 7), expected);
}

TEST(ConsoleOutput, BufferedConsoleIsWrittenOutAtASevereStop) {
  const RunResult run = runScript({"print", "1", "before the report", "fatal", "29", "1", "/no/such/file"},
                                  {"XIOT_BUFFER_STDOUT=1", "XIO_DISABLE_STACK_TRACE=1"});
  EXPECT_EQ(run.status, 29);
  // The probe's note of the report's line comes first, straight; the record was held.
  EXPECT_EQ(run.out.substr(run.out.find('\n') + 1), " before the report\r\n");
  EXPECT_EQ(run.err, "xiorun: severe (29): file not found, unit 1, file /no/such/file\n");
}

// --- Wrapping checked in-process against a reference, for any line length --------------

// The records a free-format statement of character items gives, as an independent
// statement of the rule: every record is a blank and then at most `lineLength` - 1
// characters; an item that does not fit the rest of a record that holds text begins a
// new record; an item is otherwise cut only where a record is full.
std::vector<std::string> referenceRecords(const std::vector<std::string>& items, std::size_t lineLength) {
  std::vector<std::string> records;
  std::string record;
  bool fresh = true;
  for (const std::string& item : items) {
    if (!fresh && item.size() > lineLength - record.size()) {
      records.push_back(record);
      fresh = true;
    }
    if (fresh) {
      record = " ";
      fresh = false;
    }
    for (char c : item) {
      if (record.size() == lineLength) {
        records.push_back(record);
        record = " ";
      }
      record += c;
    }
  }
  if (fresh) record = " ";
  records.push_back(record);
  return records;
}

void writeStatement(std::int32_t unitNumber, const std::vector<std::string>& items) {
  std::vector<recio::LengthAddressBlock> blocks;
  for (const std::string& item : items) blocks.push_back({static_cast<std::intptr_t>(item.size()), item.data()});
  recio::FreeFormatWriter writer;
  writer.begin(unitNumber);
  for (std::size_t index = 0; index < blocks.size(); ++index) {
    const bool last = index + 1 == blocks.size();
    writer.transfer(recio::characterItem(blocks[index], last ? recio::kFollowLast : recio::kFollowMore));
  }
}

std::string readFileFrom(const std::string& path, std::size_t offset) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(offset));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

constexpr int kRandomStatements = testing_support::sanitizedCount(1500, 5);

TEST(FreeFormatWrapping, MatchesTheReferenceForRandomItems) {
  testing_support::clearIoEnvironment();
  TempDir directory;
  const std::string path = directory.file("lines.txt");
  constexpr std::int32_t kUnit = 5;
  ASSERT_EQ(testing_support::openForWriting(kUnit, path), 0);
  std::mt19937 random(77);
  std::size_t checked = 0;
  for (std::size_t lineLength : {2, 3, 4, 7, 10, 29, 30, 79, 80, 81}) {
    testing_support::setRecordLength(kUnit, static_cast<std::int32_t>(lineLength));
    std::uniform_int_distribution<std::size_t> itemLength(0, 2 * lineLength + 3);
    std::uniform_int_distribution<int> itemCount(1, 6);
    for (int round = 0; round < kRandomStatements; ++round) {
      std::vector<std::string> items(static_cast<std::size_t>(itemCount(random)));
      for (std::string& item : items) {
        item = nameOfLength(itemLength(random));
        // Short items now and then, where an item just fits or just does not.
        if (random() % 4 == 0) item.resize(std::min(item.size(), lineLength - 1));
      }
      writeStatement(kUnit, items);
      const std::string expected = crlfRecords(referenceRecords(items, lineLength));
      const std::string written = readFileFrom(path, checked);
      ASSERT_EQ(written, expected) << "line length " << lineLength << ", " << items.size() << " items";
      checked += written.size();
    }
  }
  EXPECT_EQ(recio::closeUnit(kUnit, true), 0);
}

// Only character items are placed; a statement ends its last record at its last item
// whatever that is, and a record that holds nothing else still has its blank.
TEST(FreeFormatWrapping, LastItemThatIsNoCharacterItem) {
  testing_support::clearIoEnvironment();
  TempDir directory;
  const std::string path = directory.file("lines.txt");
  constexpr std::int32_t kUnit = 5;
  ASSERT_EQ(testing_support::openForWriting(kUnit, path), 0);
  const double number = 2.5;
  const recio::LengthAddressBlock text = recio::characterBlock("text");
  const std::vector<std::vector<recio::TransferItem>> statements = {
      {recio::realItem(number, recio::kFollowLast)},
      {recio::characterItem(text, recio::kFollowMore), recio::realItem(number, recio::kFollowLast)},
  };
  for (const std::vector<recio::TransferItem>& items : statements) {
    recio::FreeFormatWriter writer;
    writer.begin(kUnit);
    for (const recio::TransferItem& item : items) writer.transfer(item);
  }
  EXPECT_EQ(recio::closeUnit(kUnit, true), 0);
  EXPECT_EQ(readFile(path), " \r\n text\r\n");
}

TEST(FreeFormatWrapping, ReferenceAgreesWithTheTabledLines) {
  for (const WrapCase& wrap : wrapCases()) {
    EXPECT_EQ(referenceRecords({wrap.literal, nameOfLength(wrap.nameLength)}, 80), wrap.records);
  }
}

}  // namespace
