# Desktop Windows, 64-bit x86: the same PE files as the i686 toolchain, a test
# vehicle for 64-bit Wine on machines that cannot run 32-bit programs. The
# package stays 32-bit.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
