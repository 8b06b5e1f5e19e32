# Native tree: the core against the virtual OS, its tests under ASan+UBSan,
# and the modem simulator.
set(VANTOR_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)

file(GLOB VANTOR_VIRT_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/src/os/virt/*.cpp)
file(GLOB VANTOR_MODEL_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tools/modem/*.cpp)

add_library(vantor_virt STATIC ${VANTOR_CORE_SOURCES} ${VANTOR_VIRT_SOURCES})
target_include_directories(vantor_virt PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(vantor_virt PRIVATE ${VANTOR_WARNINGS} ${VANTOR_NO_EXCEPTIONS})
target_compile_options(vantor_virt PUBLIC ${VANTOR_SANITIZE} -g)
target_link_options(vantor_virt PUBLIC ${VANTOR_SANITIZE})

if(VANTOR_MODEL_SOURCES)
    add_library(modem_model STATIC ${VANTOR_MODEL_SOURCES})
    target_include_directories(modem_model PUBLIC ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src)
    target_compile_options(modem_model PRIVATE ${VANTOR_WARNINGS})
    target_compile_options(modem_model PUBLIC ${VANTOR_SANITIZE} -g)
    target_link_options(modem_model PUBLIC ${VANTOR_SANITIZE})
endif()

find_package(GTest REQUIRED)
file(GLOB VANTOR_NATIVE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/native/*.cpp)
add_executable(native_tests ${VANTOR_NATIVE_TESTS})
target_include_directories(native_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/native)
target_link_libraries(native_tests PRIVATE vantor_virt vantor_test_support GTest::gtest
    GTest::gtest_main)
if(TARGET modem_model)
    target_link_libraries(native_tests PRIVATE modem_model)
endif()
target_compile_definitions(native_tests PRIVATE
    VANTOR_CAPTURES_DIR="${CMAKE_SOURCE_DIR}/tests/data/captures"
    VANTOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_test(NAME native_tests COMMAND native_tests)

if(EXISTS ${CMAKE_SOURCE_DIR}/tools/modemsim/CMakeLists.txt)
    add_subdirectory(tools/modemsim)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/fuzz/CMakeLists.txt)
    add_subdirectory(fuzz)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/bench/CMakeLists.txt)
    add_subdirectory(bench)
endif()
