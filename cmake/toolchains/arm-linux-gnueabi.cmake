# Linux on soft-float 32-bit ARM (armel: ARMv5TE): the host build whose POSIX
# layer also loads the handheld's CE ARM images, under qemu-arm on an Intel
# XScale (-cpu pxa270).
set(KVZ_ARM_LINUX_TRIPLE arm-linux-gnueabi)
include("${CMAKE_CURRENT_LIST_DIR}/arm-linux-common.cmake")
# libubsan (the alignment checks of the host-armel preset) needs 64-bit
# atomics, which ARMv5TE lacks; libatomic provides them.
set(CMAKE_C_STANDARD_LIBRARIES_INIT "-latomic")
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "-latomic")
