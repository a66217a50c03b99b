# korvane_ports_serial: the serial adapter of the system the build is for (termios and its
# device lock on Linux, Win32 on Windows), and the port choice and settings text both keep.
if(WIN32)
    add_library(korvane_ports_serial STATIC
        ${CMAKE_CURRENT_LIST_DIR}/serial_port_choice.cpp
        ${CMAKE_CURRENT_LIST_DIR}/serial_settings.cpp
        ${CMAKE_CURRENT_LIST_DIR}/windows/device_removal.cpp
        ${CMAKE_CURRENT_LIST_DIR}/windows/win32_serial_port.cpp
    )
    korvane_layer_headers(korvane_ports_serial ports)
    # advapi32: the registry's list of COM ports; user32: the removal notice's window.
    target_link_libraries(korvane_ports_serial
        PUBLIC korvane_download korvane_ports_stop korvane_windows_text
        PRIVATE korvane_port_names advapi32 user32)
    return()
endif()
add_library(korvane_ports_serial STATIC
    ${CMAKE_CURRENT_LIST_DIR}/linux/device_lock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serial_port_choice.cpp
    ${CMAKE_CURRENT_LIST_DIR}/serial_settings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/termios_serial_port.cpp
)
korvane_layer_headers(korvane_ports_serial ports)
target_link_libraries(korvane_ports_serial
    PUBLIC korvane_download korvane_ports_discovery korvane_ports_stop korvane_file_descriptor)
