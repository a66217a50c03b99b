# korvane_ports_serial: the Qt SerialPort adapter and the COMk device mapping.
find_package(Qt6 REQUIRED COMPONENTS Core SerialPort)

add_library(korvane_ports_serial STATIC
    ${CMAKE_CURRENT_LIST_DIR}/serial_device_map.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serial_settings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_serial_port.cpp
)
korvane_layer_headers(korvane_ports_serial ports)
target_link_libraries(korvane_ports_serial
    PUBLIC korvane_download
    PRIVATE Qt6::Core Qt6::SerialPort
)
