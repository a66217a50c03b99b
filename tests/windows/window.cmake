# korvane.exe driven by xdotool under Wine on a virtual X display of its own, and the installer
# and zip installed and removed under Wine, both in the build's prefix with their own files in
# folders of their own. The window test changes the desktop's resolution, which restarts the
# prefix's server: it runs alone.
# Reads a running window's controls and message boxes from outside.
add_executable(korvane_window_probe ${CMAKE_CURRENT_LIST_DIR}/window_probe.cpp)
target_compile_definitions(korvane_window_probe PRIVATE UNICODE _UNICODE)
target_link_options(korvane_window_probe PRIVATE -municode)
target_link_libraries(korvane_window_probe PRIVATE comctl32 user32)

set(window_test_work ${CMAKE_BINARY_DIR}/window-test)
add_test(NAME korvane_window
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/window_test.sh $<TARGET_FILE:korvane>
            $<TARGET_FILE:korvane_window_probe> ${KORVANE_PRINTER_SIM}
            ${PROJECT_SOURCE_DIR}/samples ${window_test_work})
set_tests_properties(korvane_window PROPERTIES ${KORVANE_WINE_TEST_PROPERTIES} TIMEOUT 600
    RUN_SERIAL TRUE ENVIRONMENT WINEPREFIX=${wine_prefix})

# The packages are made from this build by CPack, then installed as a user would.
set(installed_programs korvane)
if(TARGET korvane-cli)
    list(APPEND installed_programs korvane-cli)
endif()
list(JOIN installed_programs " " installed_programs)
set(packages ${CMAKE_BINARY_DIR}/installer-test/packages)
set(package_name korvane-${PROJECT_VERSION}-win64)
add_test(NAME korvane_installer
    COMMAND sh -c "${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake -B ${packages} >/dev/null && ${CMAKE_CURRENT_LIST_DIR}/installer_test.sh ${packages}/${package_name}.exe ${packages}/${package_name}.zip ${PROJECT_VERSION} ${CMAKE_BINARY_DIR}/installer-test '${installed_programs}'")
set_tests_properties(korvane_installer PROPERTIES ${KORVANE_WINE_TEST_PROPERTIES} TIMEOUT 600
    ENVIRONMENT WINEPREFIX=${wine_prefix})
