# 32-bit x86; built with g++-i686-linux-gnu. Most x86-64 kernels run its
# static executables as they are; a kernel built without 32-bit support
# needs qemu-i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZADURIDE_CROSS_TRIPLE i686-linux-gnu)
set(ZADURIDE_CROSS_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
