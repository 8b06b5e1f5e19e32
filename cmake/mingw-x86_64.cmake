# Cross-compiling the x86_64 twin of the Windows side with MinGW-w64 (posix
# threads): the same sources and targets as the i686 product, for machines
# that execute no 32-bit programs (run under wine64).
set(VANTOR_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
