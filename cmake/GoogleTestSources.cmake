# GoogleTest built from Debian's sources (package googletest), for the builds for which
# Debian has no GoogleTest library: Windows (tests/windows) and other Linux processors.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources (Debian: package googletest)")
if(NOT EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest sources not found at ${GOOGLETEST_SOURCE_DIR}")
endif()
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# Not our code: its warnings are not ours to fail on.
target_compile_options(gtest PRIVATE -w)
target_compile_options(gtest_main PRIVATE -w)
