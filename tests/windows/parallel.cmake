# The parallel adapter under Wine against test_port_driver.cpp, our own DLL with the port-I/O
# driver's entry points. The test exe has a folder to itself, with the two builds of the DLL in
# subfolders: its rows copy one beside the exe, into the prefix's System32 or into the current
# folder, so it runs alone (RESOURCE_LOCK) and as one test.
set(parallel_dir ${CMAKE_CURRENT_BINARY_DIR}/parallel)
foreach(variant IN ITEMS driver driver-incomplete)
    add_library(korvane_test_port_${variant} SHARED ${CMAKE_CURRENT_LIST_DIR}/test_port_driver.cpp)
    set_target_properties(korvane_test_port_${variant} PROPERTIES
        PREFIX "" OUTPUT_NAME inpoutx64 RUNTIME_OUTPUT_DIRECTORY ${parallel_dir}/${variant}
        ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/${variant})
endforeach()
target_compile_definitions(korvane_test_port_driver-incomplete
    PRIVATE KORVANE_TEST_DRIVER_INCOMPLETE)
configure_file(${PROJECT_SOURCE_DIR}/samples/demo.DPX ${parallel_dir}/demo.DPX COPYONLY)

add_executable(inpout_parallel_ports_test ${CMAKE_CURRENT_LIST_DIR}/inpout_parallel_ports_test.cpp)
set_target_properties(inpout_parallel_ports_test PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${parallel_dir})
target_link_libraries(inpout_parallel_ports_test
    PRIVATE korvane_ports_parallel korvane_test_support GTest::gtest_main)
add_dependencies(inpout_parallel_ports_test
    korvane_test_port_driver korvane_test_port_driver-incomplete)
add_test(NAME inpout_parallel_ports COMMAND inpout_parallel_ports_test)
set_tests_properties(inpout_parallel_ports PROPERTIES ${KORVANE_WINE_TEST_PROPERTIES}
    RESOURCE_LOCK port-driver-dll TIMEOUT 120)
