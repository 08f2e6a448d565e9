# Linux on 32-bit ARM (armhf): the host build with the handheld's 32-bit
# pointers, unsigned char and strict alignment, under qemu-arm.
set(KVZ_ARM_LINUX_TRIPLE arm-linux-gnueabihf)
include("${CMAKE_CURRENT_LIST_DIR}/arm-linux-common.cmake")
