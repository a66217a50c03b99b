# The version of Debian's nlohmann-json3-dev, read from its own header.
file(STRINGS /usr/include/nlohmann/detail/abi_macros.hpp _korvane_json_major
    REGEX "#define NLOHMANN_JSON_VERSION_MAJOR [0-9]+")
string(REGEX MATCH "MAJOR ([0-9]+)" _ "${_korvane_json_major}")
set(PACKAGE_VERSION ${CMAKE_MATCH_1})
if(PACKAGE_FIND_VERSION_MAJOR STREQUAL PACKAGE_VERSION)
    set(PACKAGE_VERSION_COMPATIBLE TRUE)
endif()
