# nlohmann-json (headers only) for the Windows build: Debian's headers through a folder that
# holds nothing else, so the Linux system headers beside them stay out of the mingw build.
if(NOT TARGET nlohmann_json::nlohmann_json)
    set(_korvane_json_include ${CMAKE_BINARY_DIR}/mingw-include)
    file(MAKE_DIRECTORY ${_korvane_json_include})
    file(CREATE_LINK /usr/include/nlohmann ${_korvane_json_include}/nlohmann SYMBOLIC)
    add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
    set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
        INTERFACE_INCLUDE_DIRECTORIES ${_korvane_json_include})
endif()
