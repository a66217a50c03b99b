# korvane_ports_stop: SIGINT, SIGTERM and SIGHUP as a request to stop, and parallel ports that
# honour it while they wait for the printer.
add_library(korvane_ports_stop STATIC
    ${CMAKE_CURRENT_LIST_DIR}/stop_request.cpp
    ${CMAKE_CURRENT_LIST_DIR}/stop_aware_ports.cpp
)
target_include_directories(korvane_ports_stop PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(korvane_ports_stop PUBLIC korvane_download)
