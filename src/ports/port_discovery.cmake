# korvane_port_listing: the Windows ports listing and device lines over plain port lists. It
# needs no Windows API, so its tests run on both systems.
add_library(korvane_port_listing STATIC ${CMAKE_CURRENT_LIST_DIR}/port_listing.cpp)
korvane_layer_headers(korvane_port_listing ports)
target_link_libraries(korvane_port_listing PUBLIC korvane_port_names)

# korvane_ports_discovery: which serial and parallel devices exist, the COMk mapping, and how
# they are described to the user (ports/system_report.h).
if(WIN32)
    # The Ports device class through SetupAPI, the registry's serial devices, and where the port
    # driver DLL would be loaded from.
    add_library(korvane_ports_discovery STATIC
        ${CMAKE_CURRENT_LIST_DIR}/windows/port_report.cpp
        ${CMAKE_CURRENT_LIST_DIR}/windows/windows_discovery.cpp
    )
    korvane_layer_headers(korvane_ports_discovery ports)
    target_link_libraries(korvane_ports_discovery
        PUBLIC korvane_port_listing korvane_ports_parallel
        PRIVATE korvane_windows_text setupapi cfgmgr32 advapi32)
    return()
endif()
# Linux: Qt-free, it reads sysfs, /proc and /dev under given roots.
add_library(korvane_ports_discovery STATIC
    ${CMAKE_CURRENT_LIST_DIR}/linux/device_access.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/port_report.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/serial_device_map.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/serial_discovery.cpp
    ${CMAKE_CURRENT_LIST_DIR}/linux/system_report.cpp
)
korvane_layer_headers(korvane_ports_discovery ports)
target_link_libraries(korvane_ports_discovery PUBLIC korvane_ports_parallel)
