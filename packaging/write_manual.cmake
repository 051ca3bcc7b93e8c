# Writes a program's man page from its own --manual, gzipped as Debian wants
# it: cmake -DPROGRAM=... -DPAGE=NAME.1 -P write_manual.cmake
execute_process(COMMAND ${PROGRAM} --manual OUTPUT_FILE ${PAGE} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --manual failed: ${result}")
endif()
execute_process(COMMAND gzip -9nf ${PAGE} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    message(FATAL_ERROR "gzip ${PAGE} failed: ${result}")
endif()
