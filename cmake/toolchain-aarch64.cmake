# Cross build for 64-bit ARM Linux (package g++-aarch64-linux-gnu), tested under
# qemu-aarch64 (package qemu-user).
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(CROSS_TRIPLET aarch64-linux-gnu)
set(CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-linux-cross.cmake)
