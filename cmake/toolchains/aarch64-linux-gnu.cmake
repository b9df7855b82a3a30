# 64-bit Arm, little-endian; built with g++-aarch64-linux-gnu, run under
# qemu-aarch64 from qemu-user.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(ZADURIDE_CROSS_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-aarch64 -L /usr/aarch64-linux-gnu)
