# Cross build for 32-bit ARM Linux, ARMv5TE with soft float (Debian's armel ABI), from
# Debian's g++-arm-linux-gnueabi. The result runs on any 32-bit ARM Linux board, the older
# ARM9 ones as well as ARMv7 ones. Test programs run under QEMU's user-mode emulator as an
# ARM926EJ-S, an ARMv5TE core, so that an instruction the oldest boards lack makes a test
# fail instead of passing on a newer emulated core.
#
#   cmake -S . -B build/armel -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake
set(ARM_TRIPLE arm-linux-gnueabi)
# The compiler's default is ARMv5TE with soft float; say so, so that nothing changes with it.
set(ARM_ARCH_FLAGS "-march=armv5te -mfloat-abi=soft")
set(ARM_QEMU_CPU arm926)
include(${CMAKE_CURRENT_LIST_DIR}/arm-linux-common.cmake)
