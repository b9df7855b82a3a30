# 64-bit IBM Z, big-endian; built with g++-s390x-linux-gnu, run under
# qemu-s390x from qemu-user.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(ZADURIDE_CROSS_TRIPLE s390x-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-s390x -L /usr/s390x-linux-gnu)
