# Run after a Qt Test program is built: lists its test functions and writes one
# ctest test per function, so that ctest runs the cases of one long program
# side by side. Called with -D PROGRAM=... -D NAME=... -D TIMEOUT=... -D OUT=...
execute_process(COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ${PROGRAM} -functions
                OUTPUT_VARIABLE listing RESULT_VARIABLE result TIMEOUT 60)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} -functions failed (${result}): ${listing}")
endif()
string(REPLACE "\n" ";" lines "${listing}")
set(script "")
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z_][A-Za-z0-9_]*)\\(\\)$")
    set(fn "${CMAKE_MATCH_1}")
    string(APPEND script "add_test([=[${NAME}.${fn}]=] [==[${PROGRAM}]==] -platform offscreen ${fn})\n")
    string(APPEND script "set_tests_properties([=[${NAME}.${fn}]=] PROPERTIES ENVIRONMENT QT_QPA_PLATFORM=offscreen TIMEOUT ${TIMEOUT})\n")
  endif()
endforeach()
if(script STREQUAL "")
  message(FATAL_ERROR "${PROGRAM} lists no test functions")
endif()
file(WRITE "${OUT}" "${script}")
