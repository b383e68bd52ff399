# Runs one test program of a cross build under the emulator (Wine) and judges
# it by the report the program itself writes: Wine's own exit status says
# nothing when a program could not be started at all.
#   cmake -DEMULATOR=wine -DPROGRAM=path -DREPORT=path.xml -P PagorixRunEmulated.cmake
file(REMOVE "${REPORT}")
# The program sees the build machine's root as drive Z:.
string(REPLACE "/" "\\" windows_report "Z:${REPORT}")
execute_process(COMMAND ${EMULATOR} "${PROGRAM}" "--gtest_output=xml:${windows_report}"
                RESULT_VARIABLE status)
if(NOT EXISTS "${REPORT}")
  message(FATAL_ERROR "${PROGRAM} wrote no report (exit status ${status}): it did not run")
endif()
file(READ "${REPORT}" report)
string(REGEX MATCH "<testsuites tests=\"([0-9]+)\" failures=\"([0-9]+)\" disabled=\"[0-9]+\" errors=\"([0-9]+)\"" head "${report}")
if(NOT head)
  message(FATAL_ERROR "${REPORT} is not a complete test report")
endif()
set(tests ${CMAKE_MATCH_1})
set(failures ${CMAKE_MATCH_2})
set(errors ${CMAKE_MATCH_3})
message(STATUS "${PROGRAM}: ${tests} tests, ${failures} failures, ${errors} errors")
if(tests EQUAL 0 OR NOT failures EQUAL 0 OR NOT errors EQUAL 0 OR NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed (exit status ${status})")
endif()
