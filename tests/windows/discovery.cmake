# Port discovery under Wine: the listing's rows, and the gathering over this build's prefix,
# whose COM ports the harness maps. It opens each mapped port once, so it keeps off the ports
# of the serial and CLI tests while they run: Wine lets a second program open a port in use.
add_executable(port_listing_test ${PROJECT_SOURCE_DIR}/tests/ports/port_listing_test.cpp)
target_link_libraries(port_listing_test PRIVATE korvane_port_listing GTest::gtest_main)
add_test(NAME port_listing COMMAND port_listing_test)
set_tests_properties(port_listing PROPERTIES ${KORVANE_WINE_TEST_PROPERTIES})

add_executable(port_discovery_test ${CMAKE_CURRENT_LIST_DIR}/port_discovery_test.cpp)
target_link_libraries(port_discovery_test PRIVATE korvane_ports_system korvane_ports_discovery
    GTest::gtest_main)
add_test(NAME port_discovery COMMAND port_discovery_test)
set_tests_properties(port_discovery PROPERTIES ${KORVANE_WINE_TEST_PROPERTIES}
    RESOURCE_LOCK "COM${serial_test_port};${cli_test_ports}")
