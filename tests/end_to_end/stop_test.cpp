// How a run ends: the normal stop, the fatal report with its prefix, traceback and exit
// status, the report switches, XIOT0 and the diagnostic log. Stops end the process, so
// they are seen from a probe run as a child. (The truth rule of the switches is tested in
// unit/environment_test.cpp, the message catalogue in unit/messages_test.cpp.)
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "support/run_program.h"
#include "support/temp_dir.h"

namespace {

using testing_support::readFile;
using testing_support::RunResult;
using testing_support::runScript;
using testing_support::TempDir;

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

std::string padded(const std::string& text, std::size_t width) { return text + std::string(width - text.size(), ' '); }

const std::string kHeader =
    padded("Image", 19) + padded("PC", 10) + padded("Routine", 19) + padded("Line", 12) + padded("Source", 19);

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

struct FrameLine {
  std::string module;
  std::string pc;
  std::string routine;
  std::string line;
  std::string source;
};

// Checks one frame line against "%-17.17s  %8.8X  %-17.17s  %10.10s  %s" and takes it apart.
FrameLine parseFrame(const std::string& text) {
  FrameLine frame;
  EXPECT_GE(text.size(), 61u) << text;
  if (text.size() < 61) return frame;
  for (std::size_t gap : {17, 27, 46, 58}) EXPECT_EQ(text.substr(gap, 2), "  ") << text;
  EXPECT_NE(text[0], ' ') << "the module is left-aligned: " << text;
  frame.module = trimmed(text.substr(0, 17));
  frame.pc = text.substr(19, 8);
  frame.routine = trimmed(text.substr(29, 17));
  frame.line = text.substr(48, 10);
  frame.source = text.substr(60);
  if (frame.pc != " Unknown") {
    EXPECT_EQ(frame.pc.find_first_not_of("0123456789ABCDEF"), std::string::npos) << text;
  }
  EXPECT_NE(frame.line.back(), ' ') << "the line number is right-aligned: " << text;
  const std::string number = trimmed(frame.line);
  if (number != "Unknown") {
    EXPECT_EQ(number.find_first_not_of("0123456789"), std::string::npos) << text;
  }
  frame.line = number;
  return frame;
}

// The line of the report call, as the probe tells it.
std::string announcedLine(const RunResult& run) {
  const std::size_t at = run.out.find("line=");
  if (at == std::string::npos) return {};
  return run.out.substr(at + 5, run.out.find('\n', at) - at - 5);
}

TEST(FatalReport, PrefixLineTracebackAndStatus) {
  const RunResult run = runScript({"fatal", "29", "1", "/no/such/dir/table.xyz"});
  EXPECT_EQ(run.status, 29);
  EXPECT_EQ(run.out, "line=" + announcedLine(run) + "\n") << "reports never go to standard output";
  const std::vector<std::string> lines = linesOf(run.err);
  ASSERT_GE(lines.size(), 5u) << run.err;
  EXPECT_EQ(lines[0], "xiorun: severe (29): file not found, unit 1, file /no/such/dir/table.xyz");
  EXPECT_EQ(lines[1], kHeader);
  EXPECT_EQ(lines[1].size(), 79u);
  EXPECT_EQ(run.err.back(), '\n');
  EXPECT_EQ(run.err.find("terminated abnormally"), std::string::npos) << run.err;

  // The probe's own routines, innermost first, with their source and the line of the call.
  std::vector<FrameLine> frames;
  for (std::size_t index = 2; index < lines.size(); ++index) frames.push_back(parseFrame(lines[index]));

  auto find = [&](const std::string& routine) {
    for (std::size_t index = 0; index < frames.size(); ++index) {
      if (frames[index].routine == routine) return index;
    }
    return frames.size();
  };
  const std::size_t report = find("issueReport");
  const std::size_t actions = find("runActions");
  const std::size_t main = find("main");
  ASSERT_LT(report, frames.size()) << run.err;
  EXPECT_LT(report, actions) << run.err;
  EXPECT_LT(actions, main) << run.err;
  ASSERT_LT(main, frames.size()) << run.err;
  if (testing_support::kUnderWine) {
    // The Windows build names routines from the image's symbol table; it has no reader
    // of the debug information that holds lines and sources.
    EXPECT_EQ(frames[report].module, "probe_script.exe");
    EXPECT_NE(frames[report].pc, " Unknown");
    EXPECT_EQ(frames[report].line, "Unknown");
    EXPECT_EQ(frames[report].source, "Unknown");
    EXPECT_EQ(frames[0].routine, "fatalReport") << "the walk starts at the report";
    return;
  }
  EXPECT_EQ(frames[report].source, "script.cpp");
  EXPECT_EQ(frames[report].line, announcedLine(run));
  EXPECT_EQ(frames[report].module, "probe_script");
  EXPECT_NE(frames[report].pc, " Unknown");
  EXPECT_EQ(frames[main].source, "script.cpp");
  EXPECT_EQ(frames[0].routine, "fatalReport") << "the walk starts at the report";
}

TEST(FatalReport, ExitStatusIsTheMessageNumber) {
  struct Case {
    const char* number;
    const char* unit;
    const char* name;
    const char* line;
  };
  const Case cases[] = {
      {"9", "1", "/t/x", "xiorun: severe (9): permission to access file denied, unit 1, file /t/x"},
      {"30", "7", "/t/y", "xiorun: severe (30): open failure, unit 7, file /t/y"},
      {"38", "-1", "stdout", "xiorun: severe (38): error during write, unit -1, file stdout"},
      {"41", "0", "", "xiorun: severe (41): insufficient virtual memory"},
      {"106", "1", "/t/z", "xiorun: severe (106): XIOT_BLOCKSIZE environment variable has erroneous syntax"},
      {"179", "0", "", "xiorun: severe (179): Cannot allocate array - overflow on array size calculation."},
  };
  for (const Case& test : cases) {
    const RunResult run = runScript({"fatal", test.number, test.unit, test.name}, {"XIO_DISABLE_STACK_TRACE=1"});
    EXPECT_EQ(run.err, std::string(test.line) + "\n");
    EXPECT_EQ(run.status, std::stoi(test.number));
  }
}

TEST(FatalReport, DeepStackEndsWithTheOverflowNote) {
  const RunResult run = runScript({"deep", "400", "fatal", "29", "1", "/x"});
  EXPECT_EQ(run.status, 29);
  EXPECT_LE(run.err.size(), 16384u) << "the whole report fits its buffer";
  const std::string note = "\nStack trace buffer overflow; further frames not shown.\n";
  ASSERT_GE(run.err.size(), note.size());
  EXPECT_EQ(run.err.substr(run.err.size() - note.size()), note);
}

// A routine that calls itself shows once for each of its calls: only the lines that one
// address gives for the same routine (its own inlined pieces) are shown once, and the
// frames of separate calls are never taken for such pieces.
TEST(FatalReport, RoutineThatCallsItselfShowsOncePerCall) {
  // runActions calls descend(5), which calls itself down to descend(0), which calls runActions.
  const RunResult run = runScript({"deep", "5", "fatal", "29", "1", "/x"});
  EXPECT_EQ(run.status, 29);
  const std::vector<std::string> lines = linesOf(run.err);
  std::vector<std::string> routines;
  for (std::size_t index = 2; index < lines.size(); ++index) routines.push_back(parseFrame(lines[index]).routine);
  const auto first = std::find(routines.begin(), routines.end(), "descend");
  ASSERT_NE(first, routines.end()) << run.err;
  ASSERT_GT(first - routines.begin(), 0) << run.err;
  EXPECT_EQ(first[-1], "runActions") << run.err;
  EXPECT_EQ(std::count(routines.begin(), routines.end(), "descend"), 6) << run.err;
  ASSERT_GE(routines.end() - first, 7) << run.err;
  EXPECT_EQ(std::count(first, first + 6, "descend"), 6) << "the calls are one run of frames\n" << run.err;
  EXPECT_EQ(first[6], "runActions") << run.err;
}

TEST(FatalReport, LessThanSevereReturns) {
  // A warning has no traceback; an error (the console-event message) has one.
  RunResult run = runScript({"fatal", "96", "0", "LF:", "mark", "after"});
  EXPECT_EQ(run.status, 0);
  EXPECT_NE(run.out.find("returned\nafter\n"), std::string::npos) << run.out;
  EXPECT_EQ(linesOf(run.err).size(), 1u) << run.err;
  EXPECT_EQ(run.err.rfind("xiorun: warning (96): ", 0), 0u) << run.err;

  run = runScript({"fatal", "200", "0", "control-C", "stop", "5"});
  EXPECT_EQ(run.status, 5);
  EXPECT_NE(run.out.find("returned\n"), std::string::npos);
  const std::vector<std::string> lines = linesOf(run.err);
  ASSERT_GE(lines.size(), 3u) << run.err;
  EXPECT_EQ(lines[0], "xiorun: error (200): program aborting due to control-C event");
  EXPECT_EQ(lines[1], kHeader);
}

TEST(FatalReport, MalformedTerminatorSettingWarnsOnceAndTheRunGoesOn) {
  const RunResult run = runScript({"print", "1", "x", "print", "1", "y"}, {"XIO_FMT_TERMINATOR=LF:"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, " x\r\n y\r\n");
  ASSERT_EQ(linesOf(run.err).size(), 1u) << run.err;
  EXPECT_EQ(run.err.rfind("xiorun: warning (96): ", 0), 0u) << run.err;
  EXPECT_NE(run.err.find("XIO_FMT_TERMINATOR"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("LF:"), std::string::npos) << run.err;
}

struct SwitchCase {
  std::vector<std::string> environment;
  bool traceback;
};

TEST(ReportSwitches, StackTraceSwitches) {
  const std::vector<SwitchCase> cases = {
      {{}, true},
      {{"XIO_DISABLE_STACK_TRACE=1"}, false},
      {{"XIO_DISABLE_STACK_TRACE=0"}, true},
      {{"XIO_DISABLE_STACK_TRACE=no"}, true},
      {{"XIO_DISABLE_STACK_TRACE=yes"}, false},
      {{"XIO_DISABLE_STACK_TRACE="}, true},
      {{"XIO_DISABLE_STACK_TRACE=1", "XIO_FORCE_STACK_TRACE=true"}, true},
      {{"XIO_DISABLE_STACK_TRACE=1", "XIO_FORCE_STACK_TRACE=false"}, false},
  };
  for (const SwitchCase& test : cases) {
    const RunResult run = runScript({"fatal", "30", "1", "/x"}, test.environment);
    const std::string firstLine = "xiorun: severe (30): open failure, unit 1, file /x\n";
    EXPECT_EQ(run.status, 30);
    EXPECT_EQ(run.err.rfind(firstLine, 0), 0u) << run.err;
    EXPECT_EQ(run.err.size() > firstLine.size(), test.traceback) << testing::PrintToString(test.environment) << "\n"
                                                                 << run.err;
  }
}

TEST(ReportSwitches, ForcedTracebackOnAWarning) {
  const RunResult run = runScript({"fatal", "96", "0", "x"}, {"XIO_FORCE_STACK_TRACE=Y"});
  EXPECT_EQ(run.status, 0);
  const std::vector<std::string> lines = linesOf(run.err);
  ASSERT_GE(lines.size(), 3u) << run.err;
  EXPECT_EQ(lines[1], kHeader);
}

TEST(ReportSwitches, DiagnosticLogIsAppendedTo) {
  TempDir directory;
  const std::string log = directory.write("diagnostics.log", "earlier line\n");
  RunResult run = runScript({"fatal", "29", "1", "/x"}, {"XIO_DIAGNOSTIC_LOG_FILE=" + log});
  EXPECT_EQ(run.status, 29);
  EXPECT_EQ(run.err.rfind("xiorun: severe (29): ", 0), 0u);
  EXPECT_EQ(readFile(log), "earlier line\n" + run.err);

  // With the display off the report goes to the log only; the status is unchanged.
  const std::string before = readFile(log);
  run = runScript({"fatal", "29", "1", "/x"}, {"XIO_DIAGNOSTIC_LOG_FILE=" + log, "XIO_DISABLE_DIAGNOSTIC_DISPLAY=yes",
                                               "XIO_DISABLE_STACK_TRACE=1"});
  EXPECT_EQ(run.status, 29);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(readFile(log), before + "xiorun: severe (29): file not found, unit 1, file /x\n");
}

TEST(ReportSwitches, DisplayOffWithoutLogShowsNothing) {
  const RunResult run = runScript({"fatal", "38", "1", "/x"}, {"XIO_DISABLE_DIAGNOSTIC_DISPLAY=1"});
  EXPECT_EQ(run.status, 38);
  EXPECT_EQ(run.err, "");
  const RunResult shown = runScript({"fatal", "38", "1", "/x"}, {"XIO_DISABLE_DIAGNOSTIC_DISPLAY=0"});
  EXPECT_NE(shown.err, "");
}

TEST(ReportSwitches, StandardErrorReopenedOntoXiot0) {
  TempDir directory;
  const std::string target = directory.write("stderr.txt", "kept\n");
  const RunResult run = runScript({"fatal", "96", "0", "first", "fatal", "29", "1", "/x"},
                                  {"XIOT0=" + target, "XIO_DISABLE_STACK_TRACE=1"});
  EXPECT_EQ(run.status, 29);
  EXPECT_EQ(run.err, "");
  const std::string contents = readFile(target);
  ASSERT_EQ(contents.rfind("kept\nxiorun: warning (96): ", 0), 0u) << contents;
  EXPECT_NE(contents.find("\nxiorun: severe (29): file not found, unit 1, file /x\n"), std::string::npos) << contents;
  EXPECT_EQ(linesOf(contents).size(), 3u) << contents;
}

TEST(ReportSwitches, DebuggerPresentEndsInABreakpointTrap) {
  for (const char* variable : {"XIO__IS_DEBUGGER_PRESENT=1", "XIO_DEBUGGER_IS_PRESENT=y"}) {
    const RunResult run = runScript({"fatal", "29", "1", "/x"}, {variable, "XIO_DISABLE_STACK_TRACE=1"});
    if (testing_support::kUnderWine) {
      // DebugBreak without a debugger: the breakpoint exception 0x80000003 is unhandled.
      // wine then starts its own debugger, which ends the process with a status of its
      // choosing; what counts is that the report's own exit (29) never came.
      EXPECT_NE(run.status, 29) << variable << ": EXCEPTION_BREAKPOINT";
      EXPECT_EQ(run.err.rfind("xiorun: severe (29): file not found, unit 1, file /x\n", 0), 0u) << run.err;
      continue;
    }
    EXPECT_EQ(run.status, 128 + 5) << variable << ": SIGTRAP";
    EXPECT_EQ(run.err, "xiorun: severe (29): file not found, unit 1, file /x\n");
  }
}

TEST(NormalStop, WritesNothingAndEndsWithItsStatus) {
  RunResult run = runScript({});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
  run = runScript({"stop", "1"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "");
  run = runScript({"print", "1", "message", "stop", "1", "print", "1", "never"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, " message\r\n");
}

TEST(NormalStop, RealProgramWithThreeArgumentsReportsNothingOnStandardError) {
  // Whatever the stages make of the names, the stop adds nothing to standard error.
  TempDir directory;
  const RunResult run =
      testing_support::runProgram(CELLCENTRIFY_BINARY, {"no-mesh", "no-model", "no-table"}, {}, directory.path());
  EXPECT_EQ(run.err, "");
}

}  // namespace
