# Cross build for 32-bit ARM Linux, ARMv5TE with soft float (Debian's armel ABI), from
# Debian's g++-arm-linux-gnueabi. The result runs on any 32-bit ARM Linux board, the older
# ARM9 ones as well as ARMv7 ones. Programs are linked statically and stripped, so they run
# on a device whose root file system has no C++ runtime. Test programs run under QEMU's
# user-mode emulator as an ARM926EJ-S, an ARMv5TE core, so that an instruction the oldest
# boards lack makes a test fail instead of passing on a newer emulated core.
#
#   cmake -S . -B build/armel -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabi.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(ARM_TRIPLE arm-linux-gnueabi)
set(CMAKE_C_COMPILER ${ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ARM_TRIPLE}-g++)

# Headers and libraries come from the cross sysroot only; programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's default is ARMv5TE with soft float; say so, so that nothing changes with it.
# Unused functions and data are dropped at link time; the output is static and stripped.
set(CMAKE_C_FLAGS_INIT "-march=armv5te -mfloat-abi=soft -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-march=armv5te -mfloat-abi=soft -ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s -Wl,--gc-sections")

find_program(ARM_QEMU_USER NAMES qemu-arm-static qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ARM_QEMU_USER} -cpu arm926 -L /usr/${ARM_TRIPLE})
