# korvane_ports_stop: a request to stop (SIGINT, SIGTERM and SIGHUP on Linux; Ctrl+C, Ctrl+Break
# and the console closing on Windows), and parallel ports that honour it while they wait for the
# printer.
if(WIN32)
    set(stop_request_source ${CMAKE_CURRENT_LIST_DIR}/windows/stop_request.cpp)
else()
    set(stop_request_source ${CMAKE_CURRENT_LIST_DIR}/linux/stop_request.cpp)
endif()
add_library(korvane_ports_stop STATIC
    ${stop_request_source}
    ${CMAKE_CURRENT_LIST_DIR}/stop_aware_ports.cpp
)
korvane_layer_headers(korvane_ports_stop ports)
target_link_libraries(korvane_ports_stop PUBLIC korvane_download)
