# korvane_ports_parallel: ppdev and direct port I/O adapters and the LPTk device mapping.
if(WIN32)
    # Windows: the port-I/O driver DLL adapter (src/ports/windows) comes here.
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
