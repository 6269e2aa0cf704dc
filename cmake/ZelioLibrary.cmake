# libzelio: the C interface (include/zelio.h) as a shared library for other
# programs, with its CMake package, pkg-config file, the Python package and
# the examples. Included from the top-level CMakeLists.txt after the tests.
#
# Install components: lib (the shared library), dev (header, import library,
# CMake package, pkg-config file), python (the Python package).

enable_language(C)
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

# The static libraries linked into the shared one: position-independent, and
# nothing of them visible from outside.
set_target_properties(zelio_link zelio_config zelio_protocol zelio_emulator ${ZELIO_HOST_LIB} PROPERTIES
    POSITION_INDEPENDENT_CODE ON
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)

# The target is zelio_shared (zelio is the Windows GUI); the file is
# libzelio.so.1 / zelio.dll, the imported target zelio::zelio.
add_library(zelio_shared SHARED src/capi/zelio_capi.cpp)
set_target_properties(zelio_shared PROPERTIES
    OUTPUT_NAME zelio
    EXPORT_NAME zelio
    VERSION "${PROJECT_VERSION}"
    SOVERSION "${PROJECT_VERSION_MAJOR}"
    CXX_VISIBILITY_PRESET hidden
    VISIBILITY_INLINES_HIDDEN ON)
target_compile_definitions(zelio_shared PRIVATE ZELIO_BUILDING_LIBRARY)
target_include_directories(zelio_shared PUBLIC
    "$<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>"
    "$<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>")
target_link_libraries(zelio_shared PRIVATE zelio_options zelio_protocol zelio_emulator ${ZELIO_HOST_LIB})
if(WIN32)
    # zelio.dll (import library libzelio.dll.a). Only what zelio.h marks
    # dllexport is exported; the runtime is linked statically (see the
    # toolchain-wide options), so the DLL needs nothing but system DLLs.
    set_target_properties(zelio_shared PROPERTIES PREFIX "")
    if(MINGW)
        target_link_options(zelio_shared PRIVATE "LINKER:--exclude-all-symbols")
    endif()
elseif(NOT APPLE)
    # ELF: a version script keeps everything but zelio_* local (Apple's
    # linker has no version scripts; the hidden visibility does it there).
    set(_zelio_map "${PROJECT_SOURCE_DIR}/src/capi/zelio.map")
    target_link_options(zelio_shared PRIVATE "LINKER:--version-script=${_zelio_map}")
    set_target_properties(zelio_shared PROPERTIES LINK_DEPENDS "${_zelio_map}")
endif()

# ---------------------------------------------------------------------------
# Examples: C programs against the shared library
# ---------------------------------------------------------------------------
add_executable(zelio_blink_example examples/blink.c)
set_target_properties(zelio_blink_example PROPERTIES OUTPUT_NAME blink)
target_link_libraries(zelio_blink_example PRIVATE zelio_shared)

# ---------------------------------------------------------------------------
# Installation
# ---------------------------------------------------------------------------
set(ZELIO_INSTALL_CMAKEDIR "${CMAKE_INSTALL_LIBDIR}/cmake/zelio")
install(TARGETS zelio_shared EXPORT zelioTargets
    RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT lib
    LIBRARY DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT lib NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION "${CMAKE_INSTALL_LIBDIR}" COMPONENT dev)
install(FILES "${PROJECT_SOURCE_DIR}/include/zelio.h"
    DESTINATION "${CMAKE_INSTALL_INCLUDEDIR}" COMPONENT dev)
install(EXPORT zelioTargets NAMESPACE zelio::
    DESTINATION "${ZELIO_INSTALL_CMAKEDIR}" COMPONENT dev)
configure_package_config_file("${PROJECT_SOURCE_DIR}/cmake/zelioConfig.cmake.in"
    "${PROJECT_BINARY_DIR}/zelioConfig.cmake"
    INSTALL_DESTINATION "${ZELIO_INSTALL_CMAKEDIR}")
write_basic_package_version_file("${PROJECT_BINARY_DIR}/zelioConfigVersion.cmake"
    VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)
install(FILES "${PROJECT_BINARY_DIR}/zelioConfig.cmake" "${PROJECT_BINARY_DIR}/zelioConfigVersion.cmake"
    DESTINATION "${ZELIO_INSTALL_CMAKEDIR}" COMPONENT dev)

# The pkg-config file finds the prefix from its own place, so the tree can be
# installed anywhere.
set(_zelio_pc_dir "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
file(RELATIVE_PATH ZELIO_PC_PREFIX_FROM_PCDIR "/prefix/${_zelio_pc_dir}" "/prefix")
string(REGEX REPLACE "/$" "" ZELIO_PC_PREFIX_FROM_PCDIR "${ZELIO_PC_PREFIX_FROM_PCDIR}")
configure_file("${PROJECT_SOURCE_DIR}/cmake/zelio.pc.in" "${PROJECT_BINARY_DIR}/zelio.pc" @ONLY)
install(FILES "${PROJECT_BINARY_DIR}/zelio.pc" DESTINATION "${_zelio_pc_dir}" COMPONENT dev)

# The Python package with its dist-info (pip list and importlib.metadata know
# it; without a RECORD pip leaves it to whoever installed it). On Windows
# zelio.dll goes next to it, where it looks first. Elsewhere it goes where
# Debian's python3 looks: lib/python3/dist-packages under the prefix /usr,
# lib/python3.X/dist-packages under any other (/usr/local), chosen when it
# is installed (cmake --install --prefix, or the packages' /usr).
set(ZELIO_INSTALL_PYTHONDIR "" CACHE STRING
    "Where the Python package is installed (relative to the install prefix); empty: where python3 looks")
if(NOT WIN32 AND ZELIO_INSTALL_PYTHONDIR STREQUAL "lib/python3/dist-packages")
    # The fixed place of earlier versions, left in build trees: now chosen.
    set_property(CACHE ZELIO_INSTALL_PYTHONDIR PROPERTY VALUE "")
endif()
set(_zelio_python_dir "${ZELIO_INSTALL_PYTHONDIR}")
if(WIN32 AND NOT _zelio_python_dir)
    set(_zelio_python_dir "python")
endif()
set(_zelio_dist_info "${PROJECT_BINARY_DIR}/python/zelio-${PROJECT_VERSION}.dist-info")
file(REMOVE_RECURSE "${_zelio_dist_info}")
file(WRITE "${_zelio_dist_info}/METADATA" "Metadata-Version: 2.1
Name: zelio
Version: ${PROJECT_VERSION}
Summary: ZEL280/ZEL260 eight-channel USB HID I/O modules from Python, over libzelio
License: MIT
Requires-Python: >=3.9
")
if(NOT _zelio_python_dir)
    find_program(ZELIO_SYSTEM_PYTHON3 python3 PATHS /usr/bin NO_DEFAULT_PATH)
    find_program(ZELIO_SYSTEM_PYTHON3 python3)
    set(_zelio_python_x "3")
    if(ZELIO_SYSTEM_PYTHON3)
        execute_process(COMMAND "${ZELIO_SYSTEM_PYTHON3}" -c "import sys; print('%d.%d' % sys.version_info[:2])"
            OUTPUT_VARIABLE _zelio_python_x OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    install(CODE "
        set(_dir lib/python${_zelio_python_x}/dist-packages)
        if(CMAKE_INSTALL_PREFIX MATCHES \"(^|/)usr/?$\")
            set(_dir lib/python3/dist-packages)
        endif()
        file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/\${_dir}\" TYPE DIRECTORY
            FILES \"${PROJECT_SOURCE_DIR}/python/zelio\" \"${_zelio_dist_info}\"
            PATTERN __pycache__ EXCLUDE PATTERN *.pyc EXCLUDE)" COMPONENT python)
else()
    install(DIRECTORY "${PROJECT_SOURCE_DIR}/python/zelio" "${_zelio_dist_info}"
        DESTINATION "${_zelio_python_dir}" COMPONENT python
        PATTERN "__pycache__" EXCLUDE
        PATTERN "*.pyc" EXCLUDE)
endif()
if(WIN32)
    install(FILES "$<TARGET_FILE:zelio_shared>" DESTINATION "${_zelio_python_dir}/zelio"
        COMPONENT python)
endif()

# ---------------------------------------------------------------------------
# Tests
# ---------------------------------------------------------------------------
if(NOT ZELIO_BUILD_TESTS)
    return()
endif()

add_executable(zelio_capi_test tests/lib/capi_test.c)
target_link_libraries(zelio_capi_test PRIVATE zelio_shared)

# Under Wine the programs find zelio.dll next to them in the build directory.
add_test(NAME lib_capi COMMAND zelio_capi_test "${PROJECT_SOURCE_DIR}/tests/support/selections.tsv")
add_test(NAME lib_blink_c COMMAND zelio_blink_example --emulate)
set_tests_properties(lib_blink_c PROPERTIES
    PASS_REGULAR_EXPRESSION "0x280 ZEL280 setting.*blinking channel 3 of 0x280")
set(_zelio_lib_tests lib_capi lib_blink_c)

# Contexts in four threads at once. On Linux the test program puts interfaces
# that refuse to open into hidapi's enumeration (it replaces hid_enumerate).
add_executable(zelio_threads_test tests/lib/threads_test.cpp)
target_link_libraries(zelio_threads_test PRIVATE zelio_shared)
if(NOT WIN32)
    target_link_libraries(zelio_threads_test PRIVATE Threads::Threads ${CMAKE_DL_LIBS})
    target_include_directories(zelio_threads_test PRIVATE ${HIDAPI_INCLUDE_DIRS})
    set_target_properties(zelio_threads_test PROPERTIES ENABLE_EXPORTS ON)
endif()
if(NOT CMAKE_CROSSCOMPILING OR WIN32)
    add_test(NAME lib_threads COMMAND zelio_threads_test)
    list(APPEND _zelio_lib_tests lib_threads)
endif()
# The same program under ThreadSanitizer, built with the library's sources
# into one program (so the library itself is instrumented), on a native
# Linux build without other sanitizers: a call into hidapi's process-wide
# state outside the library's lock is a data race it reports.
if(CMAKE_SYSTEM_NAME STREQUAL "Linux" AND NOT CMAKE_CROSSCOMPILING AND NOT CMAKE_CXX_FLAGS MATCHES "-fsanitize="
   AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    set(_zelio_tsan_sources tests/lib/threads_test.cpp src/capi/zelio_capi.cpp)
    foreach(_zelio_lib zelio_link zelio_config zelio_protocol zelio_emulator zelio_hidapi)
        get_target_property(_zelio_lib_sources ${_zelio_lib} SOURCES)
        list(APPEND _zelio_tsan_sources ${_zelio_lib_sources})
    endforeach()
    list(FILTER _zelio_tsan_sources INCLUDE REGEX "\\.cpp$")
    list(TRANSFORM _zelio_tsan_sources PREPEND "${PROJECT_SOURCE_DIR}/" REGEX "^src/|^tests/")
    add_executable(zelio_threads_tsan_test ${_zelio_tsan_sources})
    target_compile_options(zelio_threads_tsan_test PRIVATE -fsanitize=thread -O1 -g)
    target_link_options(zelio_threads_tsan_test PRIVATE -fsanitize=thread)
    target_compile_definitions(zelio_threads_tsan_test PRIVATE ZELIO_BUILDING_LIBRARY
        $<TARGET_PROPERTY:zelio_hidapi,COMPILE_DEFINITIONS>)
    target_include_directories(zelio_threads_tsan_test PRIVATE "${PROJECT_SOURCE_DIR}/include")
    target_link_libraries(zelio_threads_tsan_test PRIVATE zelio_options PkgConfig::HIDAPI Threads::Threads
        ${CMAKE_DL_LIBS} $<$<BOOL:${LIBUDEV_FOUND}>:PkgConfig::LIBUDEV>)
    add_test(NAME lib_threads_tsan COMMAND zelio_threads_tsan_test)
    set_tests_properties(lib_threads_tsan PROPERTIES ENVIRONMENT "TSAN_OPTIONS=halt_on_error=1 exitcode=66")
endif()
# On another Linux architecture qemu-user starts no threads here: the test
# runs in the real-path rig's guest instead (tests/usbsim, usbsim_arm64).

if(WIN32)
    find_program(ZELIO_OBJDUMP NAMES x86_64-w64-mingw32-objdump objdump)
    add_test(NAME lib_exports
        COMMAND "${CMAKE_COMMAND}" -DLIBRARY=$<TARGET_FILE:zelio_shared> "-DTOOL=${ZELIO_OBJDUMP}" -DFORMAT=pe
            -P "${PROJECT_SOURCE_DIR}/tests/lib/check_exports.cmake")
else()
    find_program(ZELIO_NM NAMES ${CMAKE_LIBRARY_ARCHITECTURE}-nm nm REQUIRED)
    add_test(NAME lib_exports
        COMMAND "${CMAKE_COMMAND}" -DLIBRARY=$<TARGET_FILE:zelio_shared> "-DTOOL=${ZELIO_NM}" -DFORMAT=elf
            -P "${PROJECT_SOURCE_DIR}/tests/lib/check_exports.cmake")
endif()

if(NOT CMAKE_CROSSCOMPILING)
    find_package(Python3 COMPONENTS Interpreter)
    if(Python3_Interpreter_FOUND)
        set(_zelio_python_env
            "ZELIO_LIBRARY=$<TARGET_FILE:zelio_shared>"
            "PYTHONPATH=${PROJECT_SOURCE_DIR}/python"
            "PYTHONDONTWRITEBYTECODE=1")
        if(CMAKE_CXX_FLAGS MATCHES "-fsanitize=")
            # The library needs the sanitizer runtimes loaded first, and the
            # interpreter is not built with them: preload them, and leave
            # leaks in the interpreter unreported.
            execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=libasan.so
                OUTPUT_VARIABLE _zelio_asan OUTPUT_STRIP_TRAILING_WHITESPACE)
            execute_process(COMMAND "${CMAKE_CXX_COMPILER}" -print-file-name=libubsan.so
                OUTPUT_VARIABLE _zelio_ubsan OUTPUT_STRIP_TRAILING_WHITESPACE)
            list(APPEND _zelio_python_env "LD_PRELOAD=${_zelio_asan}:${_zelio_ubsan}" "ASAN_OPTIONS=detect_leaks=0")
        endif()
        add_test(NAME lib_python
            COMMAND Python3::Interpreter -m unittest discover -s "${PROJECT_SOURCE_DIR}/python/tests" -v)
        add_test(NAME lib_blink_py
            COMMAND Python3::Interpreter "${PROJECT_SOURCE_DIR}/examples/blink.py" --emulate)
        set_tests_properties(lib_python lib_blink_py PROPERTIES ENVIRONMENT "${_zelio_python_env}")
        set_tests_properties(lib_blink_py PROPERTIES
            PASS_REGULAR_EXPRESSION "0x280 ZEL280 setting.*blinking channel 3 of 0x280")
        list(APPEND _zelio_lib_tests lib_python lib_blink_py)
    endif()
    # The package's types, as its users' checkers see them.
    find_program(ZELIO_MYPY mypy)
    if(ZELIO_MYPY)
        add_test(NAME lib_python_types COMMAND "${ZELIO_MYPY}" --strict --no-incremental "${PROJECT_SOURCE_DIR}/python/zelio")
        list(APPEND _zelio_lib_tests lib_python_types)
    endif()

    # find_package(zelio) and pkg-config against an installed tree.
    add_test(NAME lib_install_consumer
        COMMAND "${CMAKE_COMMAND}"
            "-DBUILD_DIR=${PROJECT_BINARY_DIR}"
            "-DSOURCE_DIR=${PROJECT_SOURCE_DIR}"
            "-DWORK_DIR=${PROJECT_BINARY_DIR}/lib-install-test"
            "-DGENERATOR=${CMAKE_GENERATOR}"
            "-DC_COMPILER=${CMAKE_C_COMPILER}"
            # The sanitizer runtimes, when the library needs them.
            "-DEXE_LINKER_FLAGS=${CMAKE_EXE_LINKER_FLAGS}"
            -P "${PROJECT_SOURCE_DIR}/tests/lib/install_consumer.cmake")
    list(APPEND _zelio_lib_tests lib_install_consumer)
endif()

set_tests_properties(${_zelio_lib_tests} lib_exports PROPERTIES TIMEOUT ${ZELIO_TEST_TIMEOUT})
if(TEST wine_prefix)
    set_tests_properties(lib_capi lib_blink_c lib_threads PROPERTIES FIXTURES_REQUIRED wine_prefix)
endif()
