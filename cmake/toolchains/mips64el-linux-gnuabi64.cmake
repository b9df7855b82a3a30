# 64-bit MIPS, little-endian, n64 ABI (Debian's mips64el); built with
# g++-mips64el-linux-gnuabi64.
set(CMAKE_SYSTEM_PROCESSOR mips64el)
set(ZADURIDE_CROSS_TRIPLE mips64el-linux-gnuabi64)
set(ZADURIDE_CROSS_QEMU qemu-mips64el)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
