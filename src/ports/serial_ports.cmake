# korvane_ports_serial: the Qt SerialPort adapter and the COMk device mapping.
find_package(Qt6 REQUIRED COMPONENTS Core SerialPort)

add_library(korvane_ports_serial STATIC
    ${CMAKE_CURRENT_LIST_DIR}/serial_device_map.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serial_settings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/qt_serial_port.cpp
)
target_include_directories(korvane_ports_serial PUBLIC ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(korvane_ports_serial
    PUBLIC korvane_download
    PRIVATE Qt6::Core Qt6::SerialPort
)
