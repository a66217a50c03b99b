# cmake -DCLI=korvane-cli -DARGS=a,b -DSTATUS=n -DPHRASE=text -P run_check.cmake
# Runs "CLI check ARGS..." and fails unless it exits STATUS and prints PHRASE.
string(REPLACE "," ";" argv "${ARGS}")
execute_process(COMMAND "${CLI}" check ${argv}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(all "${out}${err}")
if(NOT status STREQUAL "${STATUS}")
    message(FATAL_ERROR "check ${ARGS}: exit ${status}, expected ${STATUS}\n${all}")
endif()
string(FIND "${all}" "${PHRASE}" at)
if(at EQUAL -1)
    message(FATAL_ERROR "check ${ARGS}: output lacks \"${PHRASE}\"\n${all}")
endif()
