# Win32 tree: Vantor.dll, the host emulator and the tests that run under Wine.
set(VANTOR_STATIC_RUNTIME -static -static-libgcc -static-libstdc++)

set(VANTOR_WIN32_OS_SOURCES ${CMAKE_SOURCE_DIR}/src/os/win32/os_win32.cpp)
add_library(vantor_win32 STATIC ${VANTOR_CORE_SOURCES} ${VANTOR_WIN32_OS_SOURCES})
target_include_directories(vantor_win32 PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(vantor_win32 PRIVATE ${VANTOR_WARNINGS} ${VANTOR_NO_EXCEPTIONS})
target_compile_options(vantor_win32 PUBLIC -O2)
# The journal's folder (SHGetFolderPathA) and settings (the registry).
target_link_libraries(vantor_win32 PUBLIC shell32 advapi32)

add_subdirectory(src/module)
# The Windows tests need GoogleTest's sources (Debian's googletest package);
# a build on Windows without them makes the DLL and the host emulator only.
set(VANTOR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree for the Windows tests")
if(EXISTS ${VANTOR_GTEST_SOURCE}/CMakeLists.txt)
    add_subdirectory(tests/win32)
endif()
add_subdirectory(tools/vantorhost)

# The cost of a journal line on Windows, for scripts/bench.
add_executable(journal_line_bench ${CMAKE_SOURCE_DIR}/bench/journal_line_bench.cpp)
target_include_directories(journal_line_bench PRIVATE ${CMAKE_SOURCE_DIR}/src)
target_compile_options(journal_line_bench PRIVATE ${VANTOR_WARNINGS})
target_link_libraries(journal_line_bench PRIVATE vantor_win32)
target_link_options(journal_line_bench PRIVATE ${VANTOR_STATIC_RUNTIME})
set_target_properties(journal_line_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
