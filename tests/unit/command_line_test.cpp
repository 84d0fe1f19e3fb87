// The command line: splitting one string into arguments, the joining of an argument
// vector that must give every argument back unchanged, and the 120-character name fields.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "app/names.h"
#include "recio/platform/platform.h"

namespace {

using Arguments = std::vector<std::string>;

struct SplitCase {
  const char* line;
  Arguments arguments;
};

TEST(SplitCommandLine, Rules) {
  const SplitCase cases[] = {
      // Blanks and tabs separate; runs count once; leading and trailing ones give nothing.
      SplitCase{"", {}},
      SplitCase{"   \t ", {}},
      SplitCase{"prog", {"prog"}},
      SplitCase{"prog a b c", {"prog", "a", "b", "c"}},
      SplitCase{"  prog \t\t a   b\t", {"prog", "a", "b"}},
      // No other character separates: not a line feed, not a carriage return.
      SplitCase{"prog a\nb c\rd", {"prog", "a\nb", "c\rd"}},
      // Quotation keeps blanks and tabs; the quotes themselves are not copied.
      SplitCase{"prog \"a b\"", {"prog", "a b"}},
      SplitCase{"prog \"\ta \"", {"prog", "\ta "}},
      SplitCase{"prog a b \"c d\"", {"prog", "a", "b", "c d"}},
      // A pair of quotes inside quotation gives one quote and ends the quotation.
      SplitCase{"prog \"a\"\"b\"", {"prog", "a\"b"}},
      SplitCase{"prog \"a\"\" b\"", {"prog", "a\"", "b"}},
      SplitCase{"prog \"\"\"\"", {"prog", "\""}},
      SplitCase{"prog \"\"\"\" x", {"prog", "\" x"}},
      SplitCase{"prog \"\"\"\"\"\"", {"prog", "\"\""}},
      // Outside quotation two quotes open and close an empty stretch.
      SplitCase{"prog a\"\"b", {"prog", "ab"}},
      // Backslashes are ordinary, also before a quote and at the end of a quoted path.
      SplitCase{"prog a\\b \\\\c", {"prog", "a\\b", "\\\\c"}},
      SplitCase{"prog \"C:\\dir\\\" next", {"prog", "C:\\dir\\", "next"}},
      SplitCase{"prog a\\\"b c\"", {"prog", "a\\b c"}},
      // Text adjoining a quoted stretch belongs to the same argument.
      SplitCase{"prog ab\"c d\"e", {"prog", "abc de"}},
      SplitCase{"prog \"a\"b\"c\"", {"prog", "abc"}},
      // A pair of quotes alone is an empty argument, and it is counted.
      SplitCase{"prog a \"\" c", {"prog", "a", "", "c"}},
      SplitCase{"prog \"\"", {"prog", ""}},
      SplitCase{"\"\" \"\" \"\"", {"", "", ""}},
      // Quotation still open at the end of the line: the argument ends there.
      SplitCase{"prog \"a b", {"prog", "a b"}},
      SplitCase{"prog \"", {"prog", ""}},
      // The program name is split by the same rules.
      SplitCase{"\"C:\\Program Files\\cellcentrify.exe\" m", {"C:\\Program Files\\cellcentrify.exe", "m"}},
  };
  for (const SplitCase& test : cases) {
    EXPECT_EQ(app::splitCommandLine(test.line), test.arguments) << "line: [" << test.line << "]";
  }
}

// Builds the command line the way the program gets it: from an argument vector, through
// the platform layer.
std::string platformCommandLine(const Arguments& arguments) {
  std::vector<std::string> storage = arguments;
  std::vector<char*> argv;
  for (std::string& argument : storage) argv.push_back(argument.data());
  argv.push_back(nullptr);
  recio::platform::setArguments(static_cast<int>(storage.size()), argv.data());
  std::string line = recio::platform::commandLine(app::joinArguments);
  recio::platform::setArguments(0, nullptr);
  return line;
}

// Windows gives the program its command line as one string: there is no argument
// vector to rebuild it from.
#if defined(_WIN32)
#define SKIP_WITHOUT_ARGUMENT_VECTOR() GTEST_SKIP() << "Windows hands over the command line as it was typed"
#else
#define SKIP_WITHOUT_ARGUMENT_VECTOR()
#endif

TEST(CommandLineRoundTrip, HandPickedArguments) {
  SKIP_WITHOUT_ARGUMENT_VECTOR();
  const std::vector<Arguments> cases = {
      {"prog"},
      {"prog", ""},
      {"prog", "", "", ""},
      {"prog", " ", "\t", "  \t  "},
      {"prog", "\"", "\"\"", "\"\"\""},
      {"prog", "a\"", "\"a", "a\"b", "\" \""},
      {"prog", "\\", "\\\\", "a\\", "a\\\"", "\\\""},
      {"C:\\Program Files\\x.exe", "dir\\", "end\\\\"},
      {"prog", "line\nfeed", "carriage\rreturn"},
      {"with blank", "mesh file.msh", "model \"one\".mod", "table\\"},
  };
  for (const Arguments& arguments : cases) {
    const std::string line = platformCommandLine(arguments);
    EXPECT_EQ(app::splitCommandLine(line), arguments) << "line: [" << line << "]";
  }
}

TEST(CommandLineRoundTrip, RandomArguments) {
  SKIP_WITHOUT_ARGUMENT_VECTOR();
  // Characters that the quoting has to survive, weighted towards the troublesome ones.
  static constexpr char kAlphabet[] = {'a', 'b', ' ', '\t', '"', '"', '\\', '\\', '\n', 'x', '.', '/'};
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> pick(0, sizeof kAlphabet - 1);
  std::uniform_int_distribution<int> argumentCount(1, 7);
  std::uniform_int_distribution<int> length(0, 9);
  std::uniform_int_distribution<int> runLength(1, 6);
  for (int round = 0; round < 20000; ++round) {
    Arguments arguments(static_cast<std::size_t>(argumentCount(random)));
    for (std::string& argument : arguments) {
      for (int count = length(random); count > 0; --count) {
        // Runs of one character: quote runs and trailing backslash runs are the hard cases.
        argument.append(static_cast<std::size_t>(runLength(random) == 1 ? runLength(random) : 1),
                        kAlphabet[pick(random)]);
      }
    }
    const std::string line = platformCommandLine(arguments);
    ASSERT_EQ(app::splitCommandLine(line), arguments) << "line: [" << line << "]";
  }
}

// A name is never cut: blanks where a fixed field would have ended it stay inside it.
TEST(FileName, ArgumentIsKeptWhole) {
  for (const std::size_t length : {119, 120, 121, 130, 300, 5000}) {
    std::string argument(length, 'n');
    argument[length / 2] = ' ';
    if (length > 121) argument.replace(117, 3, "   ");
    EXPECT_EQ(app::FileName::fromArgument(argument).text(), argument);
    EXPECT_EQ(app::FileName::fromArgument(argument).trimmed(), argument);
    EXPECT_EQ(app::FileName::fromArgument(argument + "  ").trimmed(), argument);
  }
  EXPECT_EQ(app::FileName::fromArgument("").trimmed(), "");
}

TEST(FileName, OnlyTrailingBlanksAreDropped) {
  EXPECT_EQ(app::FileName::fromArgument("  a b  ").trimmed(), "  a b");
  EXPECT_EQ(app::FileName::fromArgument("a\t").trimmed(), "a\t");
  EXPECT_EQ(app::FileName::fromArgument("   ").trimmed(), "");
}

}  // namespace
