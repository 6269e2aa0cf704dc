# Helpers for the single top-level CMakeLists.txt.
#
# Sources are globbed per directory (CONFIGURE_DEPENDS, so a new .cpp file is
# picked up by the next build). Files named *_main.cpp hold a program's entry
# point and never go into a library. A target with no sources yet is skipped,
# so the tree configures at every stage.

set_property(GLOBAL PROPERTY ZELIO_BUILT_TARGETS "")
set_property(GLOBAL PROPERTY ZELIO_SKIPPED_TARGETS "")

# zelio_glob(<out-var> <pattern>... [EXCLUDE <regex>...] [KEEP_MAIN])
# Patterns are relative to the source root. Without KEEP_MAIN, *_main.cpp
# files are dropped.
function(zelio_glob out)
    cmake_parse_arguments(PARSE_ARGV 1 ARG "KEEP_MAIN" "" "EXCLUDE")
    set(result "")
    foreach(pattern IN LISTS ARG_UNPARSED_ARGUMENTS)
        file(GLOB found CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/${pattern}")
        list(APPEND result ${found})
    endforeach()
    if(NOT ARG_KEEP_MAIN AND result)
        list(FILTER result EXCLUDE REGEX "_main\\.cpp$")
    endif()
    foreach(regex IN LISTS ARG_EXCLUDE)
        if(result)
            list(FILTER result EXCLUDE REGEX "${regex}")
        endif()
    endforeach()
    if(result)
        list(REMOVE_DUPLICATES result)
        list(SORT result)
    endif()
    set(${out} "${result}" PARENT_SCOPE)
endfunction()

function(_zelio_note_target name built)
    if(built)
        set_property(GLOBAL APPEND PROPERTY ZELIO_BUILT_TARGETS ${name})
    else()
        set_property(GLOBAL APPEND PROPERTY ZELIO_SKIPPED_TARGETS ${name})
    endif()
endfunction()

# zelio_add_library(<name> <source>...): static library, or nothing when
# there are no sources yet.
function(zelio_add_library name)
    if(NOT ARGN)
        _zelio_note_target(${name} FALSE)
        return()
    endif()
    add_library(${name} STATIC ${ARGN})
    target_link_libraries(${name} PUBLIC zelio_options)
    _zelio_note_target(${name} TRUE)
endfunction()

# zelio_link_existing(<target> <PUBLIC|PRIVATE|INTERFACE> <lib>...): links
# those of the given project libraries that exist.
function(zelio_link_existing target scope)
    foreach(lib IN LISTS ARGN)
        if(lib AND TARGET ${lib})
            target_link_libraries(${target} ${scope} ${lib})
        endif()
    endforeach()
endfunction()

# MinGW needs -municode when the entry point is wmain or wWinMain.
function(_zelio_unicode_entry target)
    if(NOT MINGW)
        return()
    endif()
    set(wide FALSE)
    foreach(src IN LISTS ARGN)
        if(src MATCHES "\\.(cpp|cc|cxx)$" AND EXISTS "${src}")
            # Re-run configure when the file changes, so a switch of entry
            # point is seen.
            set_property(DIRECTORY "${PROJECT_SOURCE_DIR}" APPEND PROPERTY
                CMAKE_CONFIGURE_DEPENDS "${src}")
            file(STRINGS "${src}" hits REGEX "(wWinMain|wmain)[ \t]*\\(")
            if(hits)
                set(wide TRUE)
            endif()
        endif()
    endforeach()
    if(wide)
        target_link_options(${target} PRIVATE -municode)
    endif()
endfunction()

# zelio_add_program(<name> <CONSOLE|GUI> <main.cpp> [RESOURCES <rc>...])
# The program exists only once its main file does. Resource scripts that
# exist are compiled in (Windows only).
function(zelio_add_program name kind main)
    cmake_parse_arguments(PARSE_ARGV 3 ARG "" "" "RESOURCES")
    set(main_path "${PROJECT_SOURCE_DIR}/${main}")
    if(NOT EXISTS "${main_path}")
        _zelio_note_target(${name} FALSE)
        return()
    endif()
    set(sources "${main_path}")
    if(WIN32)
        foreach(rc IN LISTS ARG_RESOURCES)
            if(EXISTS "${rc}")
                list(APPEND sources "${rc}")
            endif()
        endforeach()
    endif()
    if(kind STREQUAL "GUI")
        add_executable(${name} WIN32 ${sources})
    else()
        add_executable(${name} ${sources})
    endif()
    target_link_libraries(${name} PRIVATE zelio_options)
    _zelio_unicode_entry(${name} ${sources})
    _zelio_note_target(${name} TRUE)
endfunction()

# Makes GTest::gtest, GTest::gtest_main, GTest::gmock available. Built from
# the sources of the distribution's googletest package; never downloaded.
# Sets ZELIO_HAVE_GTEST in the caller's scope.
macro(zelio_find_googletest)
    set(ZELIO_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH
        "GoogleTest source tree to build the test framework from")
    set(ZELIO_HAVE_GTEST FALSE)
    if(EXISTS "${ZELIO_GTEST_SOURCE_DIR}/CMakeLists.txt")
        set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
        set(INSTALL_GMOCK OFF CACHE BOOL "" FORCE)
        set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
        add_subdirectory("${ZELIO_GTEST_SOURCE_DIR}"
            "${PROJECT_BINARY_DIR}/googletest" EXCLUDE_FROM_ALL)
        set(ZELIO_HAVE_GTEST TRUE)
    else()
        find_package(GTest CONFIG QUIET)
        if(GTest_FOUND)
            set(ZELIO_HAVE_GTEST TRUE)
        else()
            message(WARNING "GoogleTest not found (set ZELIO_GTEST_SOURCE_DIR); tests are skipped")
        endif()
    endif()
    if(ZELIO_HAVE_GTEST)
        include(GoogleTest)
    endif()
endmacro()

# zelio_add_test_program(<name> <source>...)
# A GoogleTest program. Without a *_main.cpp among its sources it gets
# GoogleTest's own main(). Natively every test case becomes one CTest test;
# under an emulator (Wine) the whole program is one CTest test, which starts
# far faster; it writes its results to test-results/<name>.xml, and the test
# fails when that report is missing (see run-gtest.cmake).
function(zelio_add_test_program name)
    set(sources ${ARGN})
    set(cpp_sources ${sources})
    list(FILTER cpp_sources INCLUDE REGEX "\\.(cpp|cc|cxx)$")
    if(NOT cpp_sources)
        _zelio_note_target(${name} FALSE)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE zelio_options GTest::gmock)
    if(cpp_sources MATCHES "_main\\.(cpp|cc|cxx)")
        target_link_libraries(${name} PRIVATE GTest::gtest)
        _zelio_unicode_entry(${name} ${cpp_sources})
    else()
        target_link_libraries(${name} PRIVATE GTest::gtest_main)
    endif()
    _zelio_note_target(${name} TRUE)

    if(CMAKE_CROSSCOMPILING)
        string(REPLACE ";" "|" emulator "${CMAKE_CROSSCOMPILING_EMULATOR}")
        # The whole program runs as one test: allow it twice the time. The
        # program itself is stopped a little earlier, so that CTest never has
        # to kill the runner while Wine processes hold its output open.
        math(EXPR timeout "${ZELIO_TEST_TIMEOUT} * 2")
        math(EXPR program_timeout "${timeout} - 30")
        add_test(NAME ${name}
            COMMAND "${CMAKE_COMMAND}"
                "-DPROGRAM=$<TARGET_FILE:${name}>"
                "-DEMULATOR=${emulator}"
                "-DWORK_DIR=${PROJECT_BINARY_DIR}"
                "-DREPORT=test-results/${name}.xml"
                "-DTIMEOUT=${program_timeout}"
                -P "${PROJECT_SOURCE_DIR}/cmake/run-gtest.cmake")
        set_tests_properties(${name} PROPERTIES
            TIMEOUT ${timeout}
            WORKING_DIRECTORY "${PROJECT_BINARY_DIR}")
        if(TEST wine_prefix)
            set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
        endif()
    else()
        gtest_discover_tests(${name}
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 120
            WORKING_DIRECTORY "${PROJECT_BINARY_DIR}"
            PROPERTIES TIMEOUT ${ZELIO_TEST_TIMEOUT})
    endif()
endfunction()

function(zelio_print_summary)
    get_property(built GLOBAL PROPERTY ZELIO_BUILT_TARGETS)
    get_property(skipped GLOBAL PROPERTY ZELIO_SKIPPED_TARGETS)
    string(REPLACE ";" " " built "${built}")
    string(REPLACE ";" " " skipped "${skipped}")
    message(STATUS "zelio targets: ${built}")
    if(skipped)
        message(STATUS "zelio targets without sources yet (skipped): ${skipped}")
    endif()
endfunction()
