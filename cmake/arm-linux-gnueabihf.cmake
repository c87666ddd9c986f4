# Cross build for 32-bit ARM Linux, ARMv7-A with hard float (Debian's armhf ABI), from
# Debian's g++-arm-linux-gnueabihf.
#
#   cmake -S . -B build/armhf -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
set(ARM_TRIPLE arm-linux-gnueabihf)
set(ARM_ARCH_FLAGS "")
# A Cortex-A15 is an ARMv7-A core with VFPv4, as on the boards this build targets.
set(ARM_QEMU_CPU cortex-a15)
include(${CMAKE_CURRENT_LIST_DIR}/arm-linux-common.cmake)
