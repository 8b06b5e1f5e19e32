# Native tree: the core against the virtual OS, its tests under ASan+UBSan,
# and the modem simulator.
# VANTOR_SANITIZERS=OFF builds the tree optimised and without sanitizers:
# scripts/soak runs the field year that way.
option(VANTOR_SANITIZERS "native tree under ASan and UBSan" ON)
if(VANTOR_SANITIZERS)
    set(VANTOR_SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
else()
    set(VANTOR_SANITIZE "")
endif()

set(VANTOR_VIRT_SOURCES
    src/os/virt/virt_codepage.cpp
    src/os/virt/virt_files.cpp
    src/os/virt/virt_serial.cpp
    src/os/virt/virt_system.cpp)
list(TRANSFORM VANTOR_VIRT_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)
set(VANTOR_MODEL_SOURCES
    tools/modem/at_commands.cpp
    tools/modem/at_syntax.cpp
    tools/modem/deliver_pdu.cpp
    tools/modem/escapes.cpp
    tools/modem/field_line.cpp
    tools/modem/field_schedule.cpp
    tools/modem/gsm_charset.cpp
    tools/modem/modem_model.cpp
    tools/modem/sent_log.cpp
    tools/modem/sms_pdu.cpp
    tools/modem/sms_store.cpp
    tools/modem/status_reports.cpp
    tools/modem/text_mode.cpp
    tools/modem/timed_output.cpp)
list(TRANSFORM VANTOR_MODEL_SOURCES PREPEND ${CMAKE_SOURCE_DIR}/)

add_library(vantor_virt STATIC ${VANTOR_CORE_SOURCES} ${VANTOR_VIRT_SOURCES})
target_include_directories(vantor_virt PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(vantor_virt PRIVATE ${VANTOR_WARNINGS} ${VANTOR_NO_EXCEPTIONS})
target_compile_options(vantor_virt PUBLIC ${VANTOR_SANITIZE} -g)
target_link_options(vantor_virt PUBLIC ${VANTOR_SANITIZE})

add_library(modem_model STATIC ${VANTOR_MODEL_SOURCES})
target_include_directories(modem_model PUBLIC ${CMAKE_SOURCE_DIR}/tools ${CMAKE_SOURCE_DIR}/src)
target_compile_options(modem_model PRIVATE ${VANTOR_WARNINGS})
target_compile_options(modem_model PUBLIC ${VANTOR_SANITIZE} -g)
target_link_options(modem_model PUBLIC ${VANTOR_SANITIZE})

find_package(GTest REQUIRED)
set(VANTOR_NATIVE_TESTS
    tests/native/at_errors_test.cpp
    tests/native/bad_host_input_test.cpp
    tests/native/detect_answers_test.cpp
    tests/native/device_deliver_test.cpp
    tests/native/device_modem_test.cpp
    tests/native/device_object_test.cpp
    tests/native/device_read_test.cpp
    tests/native/device_request_test.cpp
    tests/native/device_write_test.cpp
    tests/native/exchange_test.cpp
    tests/native/field_schedule_test.cpp
    tests/native/journal_test.cpp
    tests/native/line_in_step_test.cpp
    tests/native/listing_reader_test.cpp
    tests/native/modem_model_test.cpp
    tests/native/modem_parts_test.cpp
    tests/native/modem_reports_test.cpp
    tests/native/register_check_test.cpp
    tests/native/register_table_test.cpp
    tests/native/send_over_model_test.cpp
    tests/native/send_ownership_test.cpp
    tests/native/serial_port_test.cpp
    tests/native/sms_decode_test.cpp
    tests/native/sms_encode_test.cpp
    tests/native/sms_listing_test.cpp
    tests/native/sms_oracle_test.cpp
    tests/native/sms_parts_test.cpp
    tests/native/sms_send_test.cpp
    tests/native/soak_test.cpp
    tests/native/status_report_test.cpp
    tests/native/unsolicited_lines_test.cpp
    tests/native/values_test.cpp
    tests/native/virt_os_test.cpp)
list(TRANSFORM VANTOR_NATIVE_TESTS PREPEND ${CMAKE_SOURCE_DIR}/)
add_executable(native_tests ${VANTOR_NATIVE_TESTS})
target_include_directories(native_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/native)
target_link_libraries(native_tests PRIVATE vantor_virt vantor_test_support modem_model GTest::gtest
    GTest::gtest_main)
target_compile_definitions(native_tests PRIVATE
    VANTOR_CAPTURES_DIR="${CMAKE_SOURCE_DIR}/tests/data/captures"
    VANTOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
add_test(NAME native_tests COMMAND native_tests)

# A year in the field in virtual time (VANTOR_FIELD_DAYS, VANTOR_FIELD_SEEDS):
# its own program, run as its own suite and by scripts/soak.
add_executable(field_year
    ${CMAKE_SOURCE_DIR}/tests/native/field_year_test.cpp
    ${CMAKE_SOURCE_DIR}/tests/native/field_host.cpp
    ${CMAKE_SOURCE_DIR}/tests/native/field_ledger.cpp)
target_include_directories(field_year PRIVATE ${CMAKE_SOURCE_DIR}/tests/native)
target_compile_options(field_year PRIVATE ${VANTOR_WARNINGS})
target_link_libraries(field_year PRIVATE vantor_virt vantor_test_support modem_model GTest::gtest
    GTest::gtest_main)

add_subdirectory(tools/modemsim)
add_subdirectory(fuzz)
add_subdirectory(bench)
