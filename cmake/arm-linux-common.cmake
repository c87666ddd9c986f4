# What both 32-bit ARM Linux cross builds share. The including toolchain file sets
# ARM_TRIPLE (the Debian cross compiler's prefix), ARM_ARCH_FLAGS (compiler flags that pin
# the architecture and float ABI, may be empty) and ARM_QEMU_CPU (the core that QEMU's
# user-mode emulator runs the test programs on).
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(CMAKE_C_COMPILER ${ARM_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${ARM_TRIPLE}-g++)

# Headers and libraries come from the cross sysroot only; programs run on the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${ARM_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Unused functions and data are dropped at link time; the output is static and stripped,
# so it runs on a device whose root file system has no C++ runtime.
set(CMAKE_C_FLAGS_INIT "${ARM_ARCH_FLAGS} -ffunction-sections -fdata-sections")
set(CMAKE_CXX_FLAGS_INIT "${ARM_ARCH_FLAGS} -ffunction-sections -fdata-sections")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -s -Wl,--gc-sections")

# ctest runs the test programs through the emulator.
find_program(ARM_QEMU_USER NAMES qemu-arm-static qemu-arm REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ARM_QEMU_USER} -cpu ${ARM_QEMU_CPU} -L /usr/${ARM_TRIPLE})
