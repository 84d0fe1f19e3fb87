// The routine names of a fatal report's traceback: a symbol demangled and shortened to
// its routine's own name, template arguments kept, or shown as it is when it does not
// demangle, and cut to the buffer.
#include "recio/stop/routine_name.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ShortRoutineName, Table) {
  struct Case {
    const char* symbol;
    const char* routine;
  };
  const Case cases[] = {
      {"main", "main"},
      {"_ZN5recio11fatalReportEiiSt17basic_string_viewIcSt11char_traitsIcEE", "fatalReport"},
      // Routines of unnamed namespaces, at the top and inside a named one.
      {"_ZN12_GLOBAL__N_111issueReportEiiRKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE", "issueReport"},
      {"_ZN5recio12_GLOBAL__N_114onConsoleEventENS_8platform12ConsoleEventE", "onConsoleEvent"},
      // Template arguments keep their own "::" and parentheses.
      {"_ZN5recio4findISt4pairIiiEEEvPFvvE", "find<std::pair<int, int> >"},
      // A symbol that does not demangle is shown as it is.
      {"_Znot_mangled", "_Znot_mangled"},
  };
  for (const Case& test : cases) {
    char routine[256];
    recio::shortRoutineName(test.symbol, routine, sizeof routine);
    EXPECT_EQ(std::string(routine), test.routine) << test.symbol;
  }
  char small[6];
  recio::shortRoutineName("_ZN5recio11fatalReportEv", small, sizeof small);
  EXPECT_EQ(std::string(small), "fatal") << "cut to the buffer";
}

}  // namespace
