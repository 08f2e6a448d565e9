# Linux on 32-bit ARM with Debian's cross compilers for the triple that the
# including toolchain file sets in KVZ_ARM_LINUX_TRIPLE (arm-linux-gnueabihf
# or arm-linux-gnueabi). Programs and tests run under qemu-arm through
# tools/qemu-run, which picks the sysroot and CPU from each program's ELF
# header.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER ${KVZ_ARM_LINUX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${KVZ_ARM_LINUX_TRIPLE}-g++)
# ARM instructions rather than Debian's default Thumb-2 (armhf), as the
# handheld build uses; function addresses are then even, as the alignment
# checks of the ARM presets expect.
set(CMAKE_C_FLAGS_INIT "-marm")
set(CMAKE_CXX_FLAGS_INIT "-marm")
set(CMAKE_FIND_ROOT_PATH /usr/${KVZ_ARM_LINUX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../../tools/qemu-run")
