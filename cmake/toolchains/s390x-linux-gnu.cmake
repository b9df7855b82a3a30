# 64-bit IBM Z, big-endian; built with g++-s390x-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(ZADURIDE_CROSS_TRIPLE s390x-linux-gnu)
set(ZADURIDE_CROSS_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
