# Installs the lib and dev components into a fresh prefix, builds
# examples/blink.c against it with find_package(zelio) and with pkg-config,
# and runs both programs on the emulated modules.
# cmake -DBUILD_DIR= -DSOURCE_DIR= -DWORK_DIR= -DGENERATOR= -DC_COMPILER= [-DEXE_LINKER_FLAGS=]
#       -P install_consumer.cmake

cmake_minimum_required(VERSION 3.21)

function(run)
    execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc EQUAL 0)
        message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
    endif()
    set(run_output "${out}" PARENT_SCOPE)
endfunction()

set(prefix "${WORK_DIR}/prefix")
file(REMOVE_RECURSE "${WORK_DIR}")
foreach(component lib dev)
    run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${prefix}" --component ${component})
endforeach()

file(GLOB_RECURSE pc_files "${prefix}/*/zelio.pc")
file(GLOB_RECURSE sonames "${prefix}/*/libzelio.so.1")
if(NOT pc_files OR NOT sonames OR NOT EXISTS "${prefix}/include/zelio.h")
    message(FATAL_ERROR "the install lacks zelio.pc, libzelio.so.1 or zelio.h")
endif()
list(GET pc_files 0 pc_file)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)

run("${CMAKE_COMMAND}" -E env "PKG_CONFIG_PATH=${pc_dir}"
    "${CMAKE_COMMAND}" -S "${SOURCE_DIR}/tests/lib/consumer" -B "${WORK_DIR}/build" -G "${GENERATOR}"
    "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_EXE_LINKER_FLAGS=${EXE_LINKER_FLAGS}" "-DCMAKE_PREFIX_PATH=${prefix}"
    "-DBLINK_SOURCE=${SOURCE_DIR}/examples/blink.c")
run("${CMAKE_COMMAND}" --build "${WORK_DIR}/build")

foreach(program blink_cmake blink_pkgconfig)
    run("${WORK_DIR}/build/${program}" --emulate)
    if(NOT run_output MATCHES "blinking channel 3 of 0x280")
        message(FATAL_ERROR "${program} --emulate printed:\n${run_output}")
    endif()
    # The program uses the installed library, not the one in the build tree.
    run(ldd "${WORK_DIR}/build/${program}")
    if(NOT run_output MATCHES "libzelio\\.so\\.1 => ${prefix}/")
        message(FATAL_ERROR "${program} does not load the installed library:\n${run_output}")
    endif()
endforeach()
message(STATUS "find_package(zelio) and pkg-config both build and run blink")
