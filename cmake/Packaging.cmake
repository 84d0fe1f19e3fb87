# Installation and packages: the program, its manual page, the README, the licence and the
# examples.
#   cmake --install build [--prefix DIR]
#   cpack --config build/CPackConfig.cmake      (a .deb and a .tar.gz; a .zip on Windows,
#                                               all in the build folder)
include(GNUInstallDirs)

# On Windows the package is a folder a user unzips and runs from: the program, the README, the
# licence and the examples side by side, and the manual page as text (there is no man there).
if(WIN32)
  set(CELLCENTRIFY_PROGRAM_DIR .)
  set(CELLCENTRIFY_DOC_DIR .)
  find_program(GROFF_EXECUTABLE groff)
  if(GROFF_EXECUTABLE)
    add_custom_command(OUTPUT ${PROJECT_BINARY_DIR}/cellcentrify.txt
      COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF_EXECUTABLE} -DPAGE=${PROJECT_SOURCE_DIR}/doc/cellcentrify.1
              -DOUTPUT=${PROJECT_BINARY_DIR}/cellcentrify.txt -P ${PROJECT_SOURCE_DIR}/cmake/ManualText.cmake
      DEPENDS ${PROJECT_SOURCE_DIR}/doc/cellcentrify.1 ${PROJECT_SOURCE_DIR}/cmake/ManualText.cmake
      COMMENT "Rendering the manual page as text" VERBATIM)
    add_custom_target(cellcentrify_manual_text ALL DEPENDS ${PROJECT_BINARY_DIR}/cellcentrify.txt)
    install(FILES ${PROJECT_BINARY_DIR}/cellcentrify.txt DESTINATION .)
  else()
    message(WARNING "groff not found: the package will hold no text of the manual page")
  endif()
  # The C++ runtime, libgcc, winpthreads and mingw-w64's start-up code are linked into the
  # .exe. The runtime exception of the first two asks for no notice; the licences of
  # winpthreads (MIT) and of mingw-w64's runtime (ZPL and others) ask that a binary carry
  # their notices, all of which Debian's copyright file of mingw-w64 gathers.
  find_file(MINGW_W64_COPYRIGHT copyright
            PATHS /usr/share/doc/mingw-w64-x86-64-dev /usr/share/doc/mingw-w64-common
            NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
            DOC "The licence notices of mingw-w64 and winpthreads, shipped beside the program")
  if(MINGW_W64_COPYRIGHT)
    install(FILES ${MINGW_W64_COPYRIGHT} DESTINATION . RENAME LICENSE-mingw-w64.txt)
  else()
    message(WARNING "The licence notices of mingw-w64 were not found (Debian: "
                    "/usr/share/doc/mingw-w64-x86-64-dev/copyright): set MINGW_W64_COPYRIGHT to "
                    "the file, or the package will lack the notices that winpthreads' licence asks for")
  endif()
else()
  set(CELLCENTRIFY_PROGRAM_DIR ${CMAKE_INSTALL_BINDIR})
  set(CELLCENTRIFY_DOC_DIR ${CMAKE_INSTALL_DOCDIR})
  install(FILES ${PROJECT_SOURCE_DIR}/doc/cellcentrify.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endif()
install(TARGETS cellcentrify RUNTIME DESTINATION ${CELLCENTRIFY_PROGRAM_DIR})
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE ${PROJECT_SOURCE_DIR}/CHANGELOG.md
        DESTINATION ${CELLCENTRIFY_DOC_DIR})
# The pages the README links to, where its links find them.
install(FILES ${PROJECT_SOURCE_DIR}/doc/performance.md ${PROJECT_SOURCE_DIR}/doc/windows.md
              ${PROJECT_SOURCE_DIR}/doc/contributing.md
        DESTINATION ${CELLCENTRIFY_DOC_DIR}/doc)
install(FILES ${PROJECT_SOURCE_DIR}/examples/mesh.txt ${PROJECT_SOURCE_DIR}/examples/model.txt
              ${PROJECT_SOURCE_DIR}/examples/table.xyz
        DESTINATION ${CELLCENTRIFY_DOC_DIR}/examples)

# Debian's copyright file (doc/cellcentrify/copyright, in the plain form), made from LICENSE,
# with the notice of libbacktrace when the program is linked with it: its licence asks that
# a binary's documentation carry it, and it is taken from the header of the library that
# the build found.
if(NOT WIN32)
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE _licence)
  set(_copyright "cellcentrify\n\n${_licence}")
  if(HAVE_LIBBACKTRACE)
    file(READ ${BACKTRACE_INCLUDE_DIR}/backtrace.h _header)
    string(FIND "${_header}" "*/" _end)
    string(SUBSTRING "${_header}" 0 ${_end} _notice)
    string(FIND "${_notice}" "Copyright" _start)
    string(SUBSTRING "${_notice}" ${_start} -1 _notice)
    string(STRIP "${_notice}" _notice)
    string(APPEND _copyright "\nThe program is linked with libbacktrace, GCC's stack backtrace library, which\n"
                             "names the routines and lines of a fatal report's traceback:\n\n"
                             "${_notice}\n")
  endif()
  file(WRITE ${PROJECT_BINARY_DIR}/copyright "${_copyright}")
  install(FILES ${PROJECT_BINARY_DIR}/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
# The packages' version is the project's (project() in CMakeLists.txt), and nowhere else.
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "cellcentrify developers")
# The contact named in the packages: a placeholder until the project publishes packages
# of its own; whoever publishes them sets theirs.
set(CELLCENTRIFY_PACKAGE_CONTACT "cellcentrify developers <cellcentrify@example.org>"
    CACHE STRING "Maintainer named in the packages")
set(CPACK_PACKAGE_CONTACT "${CELLCENTRIFY_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "converts a 3-D grid model into a table of cell centres")
# Lines as Debian's control file shows them (at most 80 columns).
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "cellcentrify reads a mesh file (the cell counts, first corner and cell widths"
  "of a rectilinear 3-D grid) and a model file (one value per cell), and writes a"
  "point table: one fixed-width line per cell with the x, y and elevation of the"
  "cell's centre and the cell's value, meant to be read by other tools.")
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_FILE_NAME "${PROJECT_NAME}-${PROJECT_VERSION}-${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
# The packages, and CPack's staging folder _CPack_Packages, go into the build folder, wherever
# cpack is started (cpack -B DIR chooses another).
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})

# A Windows build packs a .zip; elsewhere a .deb and a .tar.gz.
if(WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB TGZ)
endif()
# Settings that belong to one generator only (read by CPack for each generator in turn).
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/cmake/PackageGenerators.cmake)

# Debian: dependencies computed from the program's shared libraries by dpkg-shlibdeps.
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")

include(CPack)
