# Cross-compiling the product for 32-bit Windows with MinGW-w64 (posix threads).
set(VANTOR_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
