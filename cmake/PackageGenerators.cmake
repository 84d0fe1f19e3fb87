# Read by CPack once for each package generator, with CPACK_GENERATOR naming it.
if(CPACK_GENERATOR STREQUAL "DEB")
  # Debian ships programs stripped (debug information belongs in a package of its own),
  # manual pages compressed, and a changelog in its own format. A stripped program still
  # names its routines in a traceback: they are in its dynamic symbol table
  # (src/app/CMakeLists.txt), which strip keeps.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/CompressManPages.cmake"
                              "${CMAKE_CURRENT_LIST_DIR}/DebianChangelog.cmake")
endif()
