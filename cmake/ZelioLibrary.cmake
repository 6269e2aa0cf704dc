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
target_link_libraries(zelio_shared PRIVATE zelio_options zelio_protocol zelio_emulator zelio_exit_codes ${ZELIO_HOST_LIB})
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

# The Python package; on Windows zelio.dll goes next to it, where it looks first.
if(WIN32)
    set(_zelio_python_dir "python")
else()
    set(_zelio_python_dir "lib/python3/dist-packages")
endif()
set(ZELIO_INSTALL_PYTHONDIR "${_zelio_python_dir}" CACHE STRING
    "Where the Python package is installed (relative to the install prefix)")
install(DIRECTORY "${PROJECT_SOURCE_DIR}/python/zelio" DESTINATION "${ZELIO_INSTALL_PYTHONDIR}"
    COMPONENT python
    PATTERN "__pycache__" EXCLUDE
    PATTERN "*.pyc" EXCLUDE)
if(WIN32)
    install(FILES "$<TARGET_FILE:zelio_shared>" DESTINATION "${ZELIO_INSTALL_PYTHONDIR}/zelio"
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
add_test(NAME lib_capi COMMAND zelio_capi_test)
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
