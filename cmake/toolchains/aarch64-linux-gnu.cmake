# 64-bit Arm, little-endian; built with g++-aarch64-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZADURIDE_CROSS_TRIPLE aarch64-linux-gnu)
set(ZADURIDE_CROSS_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
