# Runs one GoogleTest program (through the emulator, if any) and fails unless
# it both exits with 0 and writes its XML report. A program that ends in the
# middle of a test (an exit() or ExitProcess() somewhere) exits with 0 but
# never writes the report, so the report is the proof that every test ran.
#
#   cmake -DPROGRAM=<exe> -DEMULATOR=<a|b|c> -DWORK_DIR=<dir> -DREPORT=<rel.xml>
#         [-DTIMEOUT=<seconds>] -P run-gtest.cmake
# REPORT is relative to WORK_DIR (a Windows program must not get a Unix path).
foreach(var PROGRAM WORK_DIR REPORT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "run-gtest.cmake: ${var} not set")
    endif()
endforeach()
string(REPLACE "|" ";" emulator "${EMULATOR}")

set(report_path "${WORK_DIR}/${REPORT}")
file(REMOVE "${report_path}")
get_filename_component(report_dir "${report_path}" DIRECTORY)
file(MAKE_DIRECTORY "${report_dir}")

if(DEFINED TIMEOUT)
    # The Wine wrapper ends the program and its children after this time.
    set(ENV{ZELIO_WINE_TIMEOUT} "${TIMEOUT}")
endif()

execute_process(
    COMMAND ${emulator} "${PROGRAM}" "--gtest_output=xml:${REPORT}"
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE rc)

if(NOT rc STREQUAL "0")
    message(FATAL_ERROR "${PROGRAM} failed: ${rc}")
endif()
if(NOT EXISTS "${report_path}")
    message(FATAL_ERROR "${PROGRAM} exited before all of its tests had run (no ${REPORT})")
endif()
