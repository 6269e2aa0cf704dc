# Runs one libFuzzer target as a test: over its seed corpus, then over new
# inputs up to RUNS executions in all or SECONDS seconds, whichever ends
# first. New inputs go to WORK_DIR/new, a crashing input to
# WORK_DIR/artifacts; the seed corpus is only read.
#
#   cmake -DFUZZER=<exe> -DCORPUS=<dir> -DWORK_DIR=<dir> -DRUNS=<n> -DSECONDS=<s> -P run-fuzz.cmake
foreach(var FUZZER CORPUS WORK_DIR RUNS SECONDS)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "run-fuzz.cmake: ${var} not set")
    endif()
endforeach()
if(NOT IS_DIRECTORY "${CORPUS}")
    message(FATAL_ERROR "no seed corpus at ${CORPUS}")
endif()

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/new" "${WORK_DIR}/artifacts")

execute_process(
    COMMAND "${FUZZER}" "-runs=${RUNS}" "-max_total_time=${SECONDS}" -timeout=10 -print_final_stats=1
        "-artifact_prefix=${WORK_DIR}/artifacts/" "${WORK_DIR}/new" "${CORPUS}"
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE rc)
if(NOT rc STREQUAL "0")
    file(GLOB artifacts "${WORK_DIR}/artifacts/*")
    message(FATAL_ERROR "${FUZZER} failed (${rc}); input: ${artifacts}")
endif()
