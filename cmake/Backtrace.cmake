# The traceback of a fatal report names routines and lines from the program's own
# debug information. GCC's support library ships a DWARF reader (libbacktrace) with
# every g++ installation; it is found here for both compilers. Without it the
# traceback still lists frames, with "Unknown" for what only debug information knows.
# Debian's cross compilers keep theirs in /usr/lib/gcc-cross/TRIPLET/VERSION instead. The
# newest version comes first; those folders lie outside a cross build's root, so they are
# searched as they are.
file(GLOB _gcc_lib_dirs LIST_DIRECTORIES true "/usr/lib/gcc/${CMAKE_LIBRARY_ARCHITECTURE}/*"
     "/usr/lib/gcc-cross/${CMAKE_LIBRARY_ARCHITECTURE}/*")
list(SORT _gcc_lib_dirs COMPARE NATURAL ORDER DESCENDING)
find_library(BACKTRACE_LIBRARY NAMES libbacktrace.a backtrace HINTS ${_gcc_lib_dirs} NO_CMAKE_FIND_ROOT_PATH)
find_path(BACKTRACE_INCLUDE_DIR backtrace.h HINTS ${_gcc_lib_dirs} PATH_SUFFIXES include NO_CMAKE_FIND_ROOT_PATH)
if(BACKTRACE_LIBRARY AND BACKTRACE_INCLUDE_DIR)
  message(STATUS "libbacktrace: ${BACKTRACE_LIBRARY}")
  set(HAVE_LIBBACKTRACE ON)
  # backtrace.h lives beside the compiler's private headers (xmmintrin.h and others);
  # only that one header is copied out, so that another compiler never picks up g++'s.
  configure_file(${BACKTRACE_INCLUDE_DIR}/backtrace.h ${CMAKE_BINARY_DIR}/backtrace-include/backtrace.h COPYONLY)
  set(BACKTRACE_INCLUDE_DIR ${CMAKE_BINARY_DIR}/backtrace-include)
else()
  message(STATUS "libbacktrace not found: tracebacks will show Unknown routine and line fields")
  set(HAVE_LIBBACKTRACE OFF)
endif()
