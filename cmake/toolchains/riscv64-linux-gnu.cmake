# 64-bit RISC-V; built with g++-riscv64-linux-gnu, which fuses
# multiply-adds unless told not to.
set(CMAKE_SYSTEM_PROCESSOR riscv64)
set(ZADURIDE_CROSS_TRIPLE riscv64-linux-gnu)
set(ZADURIDE_CROSS_QEMU qemu-riscv64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
