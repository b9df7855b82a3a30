# 32-bit Arm without a floating-point unit (Debian's armel): double
# arithmetic is done in software; built with g++-arm-linux-gnueabi.
set(CMAKE_SYSTEM_PROCESSOR armv5tel)
set(ZADURIDE_CROSS_TRIPLE arm-linux-gnueabi)
set(ZADURIDE_CROSS_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
