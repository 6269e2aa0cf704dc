# Helpers for the top-level CMakeLists.txt. Every target names its sources;
# a listed file that is missing is a configure error.

# zelio_add_library(<name> <source>...): a static library of the project.
function(zelio_add_library name)
    add_library(${name} STATIC ${ARGN})
    target_link_libraries(${name} PUBLIC zelio_options)
endfunction()

# zelio_add_program(<name> <CONSOLE|GUI> <source>...)
# Entry points are wmain / wWinMain (UTF-16 command line): MinGW needs
# -municode for them.
function(zelio_add_program name kind)
    if(kind STREQUAL "GUI")
        add_executable(${name} WIN32 ${ARGN})
    else()
        add_executable(${name} ${ARGN})
    endif()
    target_link_libraries(${name} PRIVATE zelio_options)
    if(MINGW AND kind STREQUAL "GUI")
        target_link_options(${name} PRIVATE -municode)
    endif()
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
# A GoogleTest program with GoogleTest's own main(). Natively every test case
# becomes one CTest test; under an emulator (Wine) the whole program is one
# CTest test, which starts far faster; it writes its results to
# test-results/<name>.xml, and the test fails when that report is missing
# (see run-gtest.cmake). ZELIO_TEST_EMULATOR_ARGS, when set, are added to the
# emulator's arguments (wine-run.sh --dpi N).
function(zelio_add_test_program name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE zelio_options GTest::gmock GTest::gtest_main)
    # The test doubles every suite may use (tests/support).
    target_include_directories(${name} PRIVATE "${PROJECT_SOURCE_DIR}/tests/support")

    if(CMAKE_CROSSCOMPILING)
        set(emulator ${CMAKE_CROSSCOMPILING_EMULATOR} ${ZELIO_TEST_EMULATOR_ARGS})
        string(REPLACE ";" "|" emulator "${emulator}")
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
        if(NOT WIN32)
            # qemu-user starts no threads on this build machine, and a child
            # that changes its user there never answers: those two cases run
            # in the native presets only.
            set_tests_properties(${name} PROPERTIES ENVIRONMENT
                "GTEST_FILTER=-CliEmulateTest.AllRunsTheCommandOnEveryModuleAtOnce:ModuleLock.NothingPlanted*")
        endif()
        if(TEST wine_prefix)
            set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine_prefix)
        endif()
    else()
        gtest_discover_tests(${name}
            DISCOVERY_MODE PRE_TEST
            DISCOVERY_TIMEOUT 120
            WORKING_DIRECTORY "${PROJECT_BINARY_DIR}"
            PROPERTIES TIMEOUT ${ZELIO_TEST_TIMEOUT}
                # Each case leaves its own report for ./test's totals.
                ENVIRONMENT "GTEST_OUTPUT=xml:${PROJECT_BINARY_DIR}/test-results/")
    endif()
endfunction()
