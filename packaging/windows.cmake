# The Windows packages, written by scripts/package-windows.sh: a 64-bit NSIS installer that puts
# korvane.exe and korvane-cli.exe in Program Files\Korvane with a Start-menu shortcut to the
# window and an uninstaller listed under the installed programs, and a zip of the same files.
# The programs install themselves to the package's top folder (CMAKE_INSTALL_BINDIR "."). Beside
# them: the Windows user's guide, the description and schema of korvane-cli's JSON, the licence.
install(FILES ${PROJECT_SOURCE_DIR}/docs/windows-guide.txt ${PROJECT_SOURCE_DIR}/docs/json.md
    ${PROJECT_SOURCE_DIR}/docs/korvane-cli.schema.json DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR "NSIS;ZIP")
# One package with every program: the install components belong to the Debian split, and with
# them CPack leaves the installer's own defines (the 64-bit target below) out of its script.
set(CPACK_MONOLITHIC_INSTALL ON)
set(CPACK_PACKAGE_NAME Korvane)
set(CPACK_PACKAGE_VENDOR Korvane)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME korvane-${PROJECT_VERSION}-win64)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "printer firmware loader for serial and parallel ports")
set(CPACK_PACKAGE_INSTALL_DIRECTORY Korvane)
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY Korvane)
# The installer's licence page.
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# The window's Start-menu entry.
set(CPACK_PACKAGE_EXECUTABLES korvane Korvane)
set(CPACK_NSIS_EXECUTABLES_DIRECTORY .)

# A 64-bit installer into the 64-bit Program Files: the programs are 64-bit.
set(CPACK_NSIS_DEFINES "Target amd64-unicode")
set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
set(CPACK_NSIS_PACKAGE_NAME Korvane)
set(CPACK_NSIS_DISPLAY_NAME "Korvane ${PROJECT_VERSION}")
set(CPACK_NSIS_INSTALLED_ICON_NAME korvane.exe)
set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
set(CPACK_NSIS_UNINSTALL_NAME Uninstall)
set(CPACK_NSIS_MANIFEST_DPI_AWARE ON)
if(KORVANE_WINDOW_ICON)
    set(CPACK_NSIS_MUI_ICON ${KORVANE_WINDOW_ICON})
    set(CPACK_NSIS_MUI_UNIICON ${KORVANE_WINDOW_ICON})
endif()

# The zip unpacks into a folder of its own; the installer has no use for one.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/windows-generator.cmake)
include(CPack)
