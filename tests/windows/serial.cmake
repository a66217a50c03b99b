# The Win32 serial adapter under Wine, against korvane-printer-sim (the Linux program that the
# Wine harness names in KORVANE_PRINTER_SIM) on one COM port of this build's prefix. Without
# the simulator only the tests that need no printer run. One test for the whole program: its
# parts share the port.
set(serial_test_port 11)

add_executable(win32_serial_port_test ${CMAKE_CURRENT_LIST_DIR}/win32_serial_port_test.cpp)
target_link_libraries(win32_serial_port_test
    PRIVATE korvane_ports_serial korvane_test_support GTest::gtest_main)
add_test(NAME win32_serial_port COMMAND win32_serial_port_test)
set(serial_test_environment)
if(KORVANE_PRINTER_SIM)
    set(serial_scratch ${CMAKE_CURRENT_BINARY_DIR}/serial-scratch)
    file(MAKE_DIRECTORY ${serial_scratch})
    set(serial_test_environment
        KORVANE_TEST_COM=COM${serial_test_port}
        KORVANE_TEST_COM_LINK=${wine_prefix}-ports/COM${serial_test_port}
        KORVANE_TEST_SIM=${KORVANE_PRINTER_SIM}
        KORVANE_TEST_SIM_SCRIPT=${CMAKE_CURRENT_LIST_DIR}/sim-at-link.sh
        KORVANE_TEST_SAMPLES=${PROJECT_SOURCE_DIR}/samples
        KORVANE_TEST_SCRATCH=${serial_scratch})
endif()
set_tests_properties(win32_serial_port PROPERTIES ${KORVANE_WINE_TEST_PROPERTIES}
    ENVIRONMENT "${serial_test_environment}" RESOURCE_LOCK COM${serial_test_port} TIMEOUT 240)

# The port choice both adapters keep, built for this system.
add_executable(serial_port_choice_test
    ${PROJECT_SOURCE_DIR}/tests/ports/serial_port_choice_test.cpp)
target_link_libraries(serial_port_choice_test PRIVATE korvane_ports_serial GTest::gtest_main)
add_test(NAME serial_port_choice COMMAND serial_port_choice_test)
set_tests_properties(serial_port_choice PROPERTIES ${KORVANE_WINE_TEST_PROPERTIES})
