# Shared part of the cross toolchains: Debian's cross compiler for
# ZADURIDE_CROSS_TRIPLE, its target libraries under /usr/TRIPLE, and static
# executables, so the tool and the tests start without the target's loader.
# They run under ZADURIDE_CROSS_QEMU from qemu-user unless an emulator is
# given: .ci/cross gives an empty one where the kernel runs the target's
# programs itself. The compilers for aarch64, s390x, ppc64el and riscv64
# fuse multiply-adds unless told not to: the core library's
# -ffp-contract=off is what keeps their digits.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_CXX_COMPILER ${ZADURIDE_CROSS_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${ZADURIDE_CROSS_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZADURIDE_CROSS_QEMU} -L
      /usr/${ZADURIDE_CROSS_TRIPLE})
endif()
