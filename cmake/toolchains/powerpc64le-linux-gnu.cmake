# 64-bit POWER, little-endian (Debian's ppc64el); built with
# g++-powerpc64le-linux-gnu.
set(CMAKE_SYSTEM_PROCESSOR ppc64le)
set(ZADURIDE_CROSS_TRIPLE powerpc64le-linux-gnu)
set(ZADURIDE_CROSS_QEMU qemu-ppc64le)
include(${CMAKE_CURRENT_LIST_DIR}/linux-gnu-cross.cmake)
