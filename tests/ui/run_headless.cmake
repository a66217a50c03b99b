# cmake -DWINDOW=korvane -P run_headless.cmake
# Starts the window with no display at all: it must say so in one line that points to
# korvane-cli, and exit with a failure status of its own rather than abort (134).
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY
                        --unset=QT_QPA_PLATFORM "${WINDOW}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err TIMEOUT 30)
if(status EQUAL 0 OR NOT status MATCHES "^[0-9]+$" OR status GREATER 125)
    message(FATAL_ERROR "korvane without a display: exit '${status}'\n${out}${err}")
endif()
string(REGEX MATCHALL "\n" lines "${err}")
list(LENGTH lines count)
if(NOT count EQUAL 1 OR NOT err MATCHES "korvane-cli")
    message(FATAL_ERROR "korvane without a display said:\n${out}${err}")
endif()
