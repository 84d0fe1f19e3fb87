# Shared by the cross builds for other Linux processors (toolchain-aarch64.cmake,
# toolchain-s390x.cmake), each of which sets CROSS_TRIPLET and CROSS_QEMU first: Debian's
# cross compilers (package g++-TRIPLET), their target libraries under /usr/TRIPLET, and
# qemu's user-mode emulator (package qemu-user) for the test programs, which run on the
# build machine with the target's libraries as their root.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${CROSS_TRIPLET}-g++)
set(CMAKE_LIBRARY_ARCHITECTURE ${CROSS_TRIPLET})

set(CMAKE_FIND_ROOT_PATH /usr/${CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(CROSS_QEMU_PROGRAM ${CROSS_QEMU})
if(CROSS_QEMU_PROGRAM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${CROSS_QEMU_PROGRAM} -L /usr/${CROSS_TRIPLET})
endif()
