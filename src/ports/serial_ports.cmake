# korvane_ports_serial: the termios serial adapter and its device lock.
add_library(korvane_ports_serial STATIC
    ${CMAKE_CURRENT_LIST_DIR}/linux/device_lock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serial_settings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/termios_serial_port.cpp
)
korvane_layer_headers(korvane_ports_serial ports)
target_link_libraries(korvane_ports_serial
    PUBLIC korvane_download korvane_ports_discovery korvane_ports_stop korvane_file_descriptor)
