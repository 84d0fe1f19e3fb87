# Read by CPack once for each package generator, with CPACK_GENERATOR naming it.
if(CPACK_GENERATOR STREQUAL "DEB")
  # Debian ships programs stripped (debug information belongs in a package of its own) and
  # manual pages compressed.
  set(CPACK_STRIP_FILES ON)
  set(CPACK_PRE_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/CompressManPages.cmake")
endif()
