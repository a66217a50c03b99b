# korvane_ports_stop: SIGINT, SIGTERM and SIGHUP as a request to stop, and parallel ports that
# honour it while they wait for the printer.
add_library(korvane_ports_stop STATIC
    ${CMAKE_CURRENT_LIST_DIR}/linux/stop_request.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stop_aware_ports.cpp
)
korvane_layer_headers(korvane_ports_stop ports)
target_link_libraries(korvane_ports_stop PUBLIC korvane_download)
