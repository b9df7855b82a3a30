# 32-bit x86; built with g++-i686-linux-gnu. An x86-64 Linux kernel runs its
# static executables as they are, so no emulator is needed.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZADURIDE_CROSS_TRIPLE i686-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
