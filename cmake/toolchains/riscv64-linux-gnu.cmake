# 64-bit RISC-V (Debian 13's riscv64); built with g++-riscv64-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(ZADURIDE_CROSS_TRIPLE riscv64-linux-gnu)
set(ZADURIDE_CROSS_QEMU qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
