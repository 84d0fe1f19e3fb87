# Cross build for IBM Z Linux (package g++-s390x-linux-gnu), a big-endian processor, so
# that any byte-order assumption shows; tested under qemu-s390x (package qemu-user).
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(CROSS_TRIPLET s390x-linux-gnu)
set(CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-linux-cross.cmake)
