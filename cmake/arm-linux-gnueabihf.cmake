# Cross build for 32-bit ARM Linux, ARMv7-A with hard float (Debian's armhf ABI), from
# Debian's g++-arm-linux-gnueabihf. Programs are linked statically and stripped, so they
# run on a device whose root file system has no C++ runtime. Test programs run under
# QEMU's user-mode emulator (ctest uses CMAKE_CROSSCOMPILING_EMULATOR).
#
#   cmake -S . -B build/armhf -DCMAKE_TOOLCHAIN_FILE=cmake/arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(ARM_TRIPLE arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ARM_TRIPLE}-g++)

# Headers and libraries come from the cross sysroot only; programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Unused functions and data are dropped at link time; the output is static and stripped.
set(CMAKE_C_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "-ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s -Wl,--gc-sections")

# A Cortex-A15 is an ARMv7-A core with VFPv4, as on the boards this build targets.
find_program(ARM_QEMU_USER NAMES qemu-arm-static qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ARM_QEMU_USER} -cpu cortex-a15 -L /usr/${ARM_TRIPLE})
