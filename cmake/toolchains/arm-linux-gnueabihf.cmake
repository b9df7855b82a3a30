# 32-bit Arm with hardware floating point (Debian's armhf); built with
# g++-arm-linux-gnueabihf.
set(CMAKE_SYSTEM_PROCESSOR armv7l)
set(ZADURIDE_CROSS_TRIPLE arm-linux-gnueabihf)
set(ZADURIDE_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
