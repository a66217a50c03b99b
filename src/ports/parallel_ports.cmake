# korvane_ports_parallel: the parallel adapters of the system the build is for (ppdev, direct
# port I/O and the LPTk device mapping on Linux; the port-I/O driver DLL on Windows).
if(WIN32)
    add_library(korvane_ports_parallel STATIC
        ${CMAKE_CURRENT_LIST_DIR}/windows/inpout_parallel_ports.cpp
        ${CMAKE_CURRENT_LIST_DIR}/windows/port_io_driver.cpp
    )
    korvane_layer_headers(korvane_ports_parallel ports)
    target_link_libraries(korvane_ports_parallel PUBLIC korvane_download)
    return()
endif()
add_library(korvane_ports_parallel STATIC
    ${CMAKE_CURRENT_LIST_DIR}/linux/direct_port_io.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/linux_parallel_ports.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/parallel_port_mapping.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/ppdev_port_io.cpp
)
korvane_layer_headers(korvane_ports_parallel ports)
target_link_libraries(korvane_ports_parallel PUBLIC korvane_download korvane_file_descriptor)
