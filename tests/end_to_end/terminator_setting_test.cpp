// The record-terminator setting XIO_FMT_TERMINATOR in a run of the script probe: its
// effect on the console and on file units, and the warning of a malformed value. (Its
// grammar is tested as a pure function in unit/terminator_setting_grammar_test.cpp.)
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::RunResult;
using testing_support::TempDir;

struct RunCase {
  const char* value;
  const char* console;             // terminator of console records
  std::vector<const char*> units;  // terminators of units 1, 2, 3, 4 and 7
  bool warning;
};

TEST(TerminatorSettingInARun, ConsoleAndUnits) {
  const std::vector<RunCase> cases = {
      {nullptr, "\r\n", {"\r\n", "\r\n", "\r\n", "\r\n", "\r\n"}, false},
      {"LF", "\n", {"\n", "\n", "\n", "\n", "\n"}, false},
      {"CR", "\r", {"\r", "\r", "\r", "\r", "\r"}, false},
      {"CRLF;LF:1", "\r\n", {"\n", "\r\n", "\r\n", "\r\n", "\r\n"}, false},
      {"LF:1-3,7", "\r\n", {"\n", "\n", "\n", "\r\n", "\n"}, false},
      {"LF;CR:4", "\n", {"\n", "\n", "\n", "\r", "\n"}, false},
      {"3-1", "\r\n", {"\r\n", "\r\n", "\r\n", "\r\n", "\r\n"}, true},
      {"LF :1", "\r\n", {"\r\n", "\r\n", "\r\n", "\r\n", "\r\n"}, true},
  };
  const int units[] = {1, 2, 3, 4, 7};
  for (const RunCase& test : cases) {
    TempDir directory;
    std::vector<std::string> words = {"print", "1", "console"};
    for (int unit : units) {
      const std::string path = directory.file("unit" + std::to_string(unit));
      words.insert(words.end(), {"open", std::to_string(unit), path, "#4", "write", "0", "write", std::to_string(unit),
                                 "2", "record"});
    }
    std::vector<std::string> environment;
    if (test.value != nullptr) environment.push_back(std::string("XIO_FMT_TERMINATOR=") + test.value);
    const RunResult run = testing_support::runScript(words, environment);
    const std::string label = test.value != nullptr ? test.value : "(unset)";
    EXPECT_EQ(run.status, 0) << label;
    EXPECT_EQ(run.out, std::string(" console") + test.console) << label;
    for (std::size_t index = 0; index < std::size(units); ++index) {
      const std::string terminator = test.units[index];
      EXPECT_EQ(readFile(directory.file("unit" + std::to_string(units[index]))),
                "record" + terminator + "record" + terminator)
          << label << ", unit " << units[index];
    }
    if (test.warning) {
      // One warning, no traceback, and the run goes on.
      EXPECT_EQ(run.err.rfind("xiorun: warning (96): ", 0), 0u) << run.err;
      EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << run.err;
      EXPECT_NE(run.err.find(test.value), std::string::npos) << "the message shows the value: " << run.err;
    } else {
      EXPECT_EQ(run.err, "") << label;
    }
  }
}

TEST(TerminatorSettingInARun, EmptyValueChangesNothing) {
  const RunResult run = testing_support::runScript({"print", "1", "x"}, {"XIO_FMT_TERMINATOR="});
  EXPECT_EQ(run.out, " x\r\n");
  EXPECT_EQ(run.err, "");
}

}  // namespace
