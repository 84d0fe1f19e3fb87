// A small program for end-to-end tests of the console, the units and the stops: it
// starts up like the real program, then runs the actions its arguments name, in order,
// and ends with the normal stop unless an action ended the run first.
//
//   print N ITEM...             one free-format console statement of N character items
//   print-repeat COUNT TEXT     COUNT statements of the one item TEXT
//   open UNIT NAME STATUS ACTION HANDLES
//                               an open statement; STATUS and ACTION are texts, or #n for an
//                               integer constant; HANDLES 1: the result is told as "open=R"
//   write UNIT COUNT TEXT       COUNT records of TEXT, one statement each, no error handler
//   write-until-event UNIT TEXT records until a console event ends the run (at most a
//                               million, then it waits); "ready" after the first 100
//   write-busily UNIT TEXT      write-until-event, with a stretch of computation before each
//                               record, so that a CPU-time limit ends it mid-table
//   close UNIT HANDLES          a plain close; HANDLES 1: the result is told as "close=R"
//   close-all                   closeAllUnits
//   mark TEXT                   TEXT and a line feed straight onto standard output
//   wait                        "ready", then nothing until a console event ends the run
//   fatal NUMBER UNIT NAME      fatalReport; tells "line=L" (the line of the call) first and
//                               "returned" when the report returns
//   stop STATUS                 runStop(STATUS)
//   drop-privileges             continue as user and group 65534; "cannot-drop" and status 77
//                               when that is impossible
//   fill-pipe FD                fills the pipe on file descriptor FD (1 or 2), so that the
//                               next write there blocks until the test reads
//   direct-writes MINIMUM_BYTES buffered units write past the page cache once a table has
//                               taken MINIMUM_BYTES (overrideDirectWritePolicyForTests)
//   deep DEPTH                  runs the remaining actions DEPTH calls deeper
//
// The probe's own notes go straight to file descriptor 1, past the console unit, so that
// a test can see whether console records are still held in the console's buffer.
#include <fcntl.h>
#if defined(_WIN32)
#include <io.h>
#include <windows.h>
#else
#include <grp.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "recio/free_output/free_format_writer.h"
#include "recio/stop/messages.h"
#include "recio/stop/stop.h"
#include "recio/transfer.h"
#include "recio/units/direct_write_policy.h"
#include "recio/units/open_keywords.h"
#include "recio/units/start_up.h"
#include "recio/units/unit.h"
#include "recio/units/unit_table.h"

namespace {

constexpr long kMostRecordsWithoutEnd = 1000000;
// Stores the optimiser must keep: write-busily's computation.
volatile long busySink = 0;

void announce(const std::string& text) {
  std::string line = text + "\n";
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t written = ::write(1, line.data() + done, line.size() - done);
    if (written <= 0 && errno != EINTR) return;
    if (written > 0) done += static_cast<std::size_t>(written);
  }
}

void printStatement(const std::vector<std::string>& items) {
  std::vector<recio::LengthAddressBlock> blocks;
  for (const std::string& item : items) blocks.push_back(recio::characterBlock(item));
  recio::FreeFormatWriter writer;
  writer.begin(recio::kConsoleUnit);
  for (std::size_t index = 0; index < blocks.size(); ++index) {
    const bool last = index + 1 == blocks.size();
    writer.transfer(recio::characterItem(blocks[index], last ? recio::kFollowLast : recio::kFollowMore));
  }
}

std::int32_t openStatement(std::int32_t unit, const std::string& name, const std::string& status,
                           const std::string& action, bool handlesErrors) {
  std::vector<recio::KeywordItem> items;
  std::vector<recio::KeywordValue> values;
  auto add = [&](std::uint8_t keyword, const std::string& text) {
    if (!text.empty() && text[0] == '#') {
      items.push_back(recio::integerKeyword(keyword));
      values.push_back(recio::integerValue(std::atoi(text.c_str() + 1)));
    } else {
      items.push_back(recio::characterKeyword(keyword));
      values.push_back(recio::characterValue(text));
    }
  };
  add(recio::kKeywordFile, name);
  add(recio::kKeywordStatus, status);
  add(recio::kKeywordAction, action);
  items.push_back(recio::kEndOfKeywords);
  values.push_back(recio::kNoKeywordValue);
  return recio::openStatement(unit, handlesErrors, items.data(), values.data());
}

// One output statement of one record, like a formatted write without an error handler.
void writeRecord(std::int32_t unitNumber, const std::string& text) {
  recio::Unit* unit = recio::acquireUnit(unitNumber);
  if (unit == nullptr) recio::fatalReport(recio::kMsgOpenFailure, unitNumber, "");
  const std::int32_t result = unit->putRecord(text.data(), text.size());
  const std::string path = unit->path();
  recio::releaseUnit(*unit);
  if (result != 0) recio::fatalReport(result, unitNumber, path);
}

// Not inlined, and not a tail call: its frame and the line of the call must show in
// the traceback.
[[gnu::noinline]] void issueReport(std::int32_t number, std::int32_t unit, const std::string& name) {
  announce("line=" + std::to_string(__LINE__ + 1));
  recio::fatalReport(number, unit, name);
  announce("returned");
}

[[noreturn]] void waitForever() {
#if defined(_WIN32)
  for (;;) Sleep(INFINITE);
#else
  for (;;) ::pause();
#endif
}

#if defined(_WIN32)
// Windows has no user to switch to and no non-blocking pipe descriptors: the tests
// that need them skip on "cannot-drop" and "cannot-fill".
void dropPrivileges() {
  announce("cannot-drop");
  recio::runStop(77);
}

void fillPipe(int) {
  announce("cannot-fill");
  recio::runStop(77);
}
#else
void dropPrivileges() {
  constexpr uid_t kNobody = 65534;
  if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) {
    announce("cannot-drop");
    recio::runStop(77);
  }
}

void fillPipe(int fd) {
  const int flags = ::fcntl(fd, F_GETFL);
  ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  const std::string filler(4096, '.');
  while (::write(fd, filler.data(), filler.size()) > 0) {
  }
  // What is left of a pipe that would not take a whole piece.
  while (::write(fd, ".", 1) > 0) {
  }
  ::fcntl(fd, F_SETFL, flags);
}
#endif

void runActions(const std::vector<std::string>& words, std::size_t at);

// A call chain `depth` frames deep, each frame a real one.
[[gnu::noinline]] void descend(int depth, const std::vector<std::string>& words, std::size_t at) {
  if (depth <= 0) {
    runActions(words, at);
  } else {
    descend(depth - 1, words, at);
  }
  asm volatile("" ::: "memory");
}

[[gnu::noinline]] void runActions(const std::vector<std::string>& words, std::size_t at) {
  auto next = [&]() -> const std::string& {
    static const std::string kNone;
    return at < words.size() ? words[at++] : kNone;
  };
  auto number = [&]() { return std::atoi(next().c_str()); };
  while (at < words.size()) {
    const std::string action = next();
    if (action == "print") {
      std::vector<std::string> items;
      for (int count = number(); count > 0; --count) items.push_back(next());
      printStatement(items);
    } else if (action == "print-repeat") {
      const int count = number();
      const std::string text = next();
      for (int index = 0; index < count; ++index) printStatement({text});
    } else if (action == "open") {
      const int unit = number();
      const std::string name = next();
      const std::string status = next();
      const std::string actionText = next();
      const bool handles = number() != 0;
      const std::int32_t result = openStatement(unit, name, status, actionText, handles);
      if (handles) announce("open=" + std::to_string(result));
    } else if (action == "write") {
      const int unit = number();
      const int count = number();
      const std::string text = next();
      for (int index = 0; index < count; ++index) writeRecord(unit, text);
    } else if (action == "write-until-event" || action == "write-busily") {
      const int unit = number();
      const std::string text = next();
      // Several microseconds of processor time a record: a second's worth in well under
      // a million records, on any machine.
      const long busyRounds = action == "write-busily" ? 20000 : 0;
      // Capped, so that a test that is slow to send its signal does not fill the disk.
      for (long index = 0; index < kMostRecordsWithoutEnd; ++index) {
        if (index == 100) announce("ready");
        for (long round = 0; round < busyRounds; ++round) busySink = round;
        writeRecord(unit, text);
      }
      waitForever();
    } else if (action == "close") {
      const int unit = number();
      const bool handles = number() != 0;
      const std::int32_t result = recio::closeUnit(unit, handles);
      if (handles) announce("close=" + std::to_string(result));
    } else if (action == "close-all") {
      recio::closeAllUnits();
    } else if (action == "mark") {
      announce(next());
    } else if (action == "wait") {
      announce("ready");
      waitForever();
    } else if (action == "fatal") {
      const int messageNumber = number();
      const int unit = number();
      issueReport(messageNumber, unit, next());
    } else if (action == "stop") {
      recio::runStop(number());
    } else if (action == "drop-privileges") {
      dropPrivileges();
    } else if (action == "fill-pipe") {
      fillPipe(number());
    } else if (action == "direct-writes") {
      recio::overrideDirectWritePolicyForTests({true, std::strtoull(next().c_str(), nullptr, 10)});
    } else if (action == "deep") {
      const int depth = number();
      descend(depth, words, at);
      return;
    } else {
      announce("unknown action " + action);
      recio::runStop(99);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
#if defined(_WIN32)
  // The notes go out byte for byte: no CR added before their line feeds.
  _setmode(1, _O_BINARY);
#endif
  recio::startUp(argc, argv);
  runActions(std::vector<std::string>(argv + 1, argv + argc), 0);
  recio::runStop(0);
}
