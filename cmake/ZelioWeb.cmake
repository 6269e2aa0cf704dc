# The configurator page (the web preset): the core, the emulator and the
# page's own C++ compiled with emscripten into one .js and one .wasm, next to
# index.html and the style sheet, in the build directory:
#   build/web/index.html zelio.js zelio.wasm zelio.css
# The link's waits become awaits through ASYNCIFY. The tests drive the page
# in headless Chromium (tests/web, puppeteer-core from tests/web/package.json).
# Debian's emscripten links against the system libraries it ships prebuilt
# (its cache is frozen): nothing is written outside the build directory. Its
# tools run on node and need NODE_PATH=/usr/share/nodejs, which the preset sets.

# What the page shows and decides is the configurator's (zelio_app), as in
# the window; the page's own C++ is its entry points and WebHidHost.
set(ZELIO_WEB_SCRIPT "${PROJECT_SOURCE_DIR}/src/web/page.js")
add_executable(zelio_web
    src/web/page_main.cpp
    src/web/web_hid_host.cpp)
target_link_libraries(zelio_web PRIVATE zelio_options zelio_app zelio_emulator)
set_target_properties(zelio_web PROPERTIES OUTPUT_NAME zelio SUFFIX ".js"
    LINK_DEPENDS "${ZELIO_WEB_SCRIPT}")
target_link_options(zelio_web PRIVATE
    -sENVIRONMENT=web -sASYNCIFY -sASYNCIFY_STACK_SIZE=65536
    -sDYNAMIC_EXECUTION=0 -sFILESYSTEM=0 -sALLOW_MEMORY_GROWTH
    -sEXPORTED_RUNTIME_METHODS=ccall
    "SHELL:--post-js \"${ZELIO_WEB_SCRIPT}\"")

# The static files, copied next to the program.
set(_zelio_web_files)
foreach(file index.html zelio.css)
    add_custom_command(OUTPUT "${PROJECT_BINARY_DIR}/${file}"
        COMMAND "${CMAKE_COMMAND}" -E copy "${PROJECT_SOURCE_DIR}/src/web/${file}" "${PROJECT_BINARY_DIR}/${file}"
        DEPENDS "${PROJECT_SOURCE_DIR}/src/web/${file}")
    list(APPEND _zelio_web_files "${PROJECT_BINARY_DIR}/${file}")
endforeach()
add_custom_target(zelio_web_files ALL DEPENDS ${_zelio_web_files})

if(ZELIO_BUILD_TESTS)
    enable_testing()
    # The module firmware for the tests' stand-in of navigator.hid: the
    # emulator, run by node next to the browser.
    add_executable(zelio_test_firmware tests/web/firmware.cpp)
    target_link_libraries(zelio_test_firmware PRIVATE zelio_options zelio_emulator)
    target_include_directories(zelio_test_firmware PRIVATE "${PROJECT_SOURCE_DIR}/tests/support")
    set_target_properties(zelio_test_firmware PROPERTIES
        RUNTIME_OUTPUT_DIRECTORY "${PROJECT_BINARY_DIR}/tests")
    target_link_options(zelio_test_firmware PRIVATE
        -sENVIRONMENT=node -sMODULARIZE -sEXPORTED_RUNTIME_METHODS=ccall -sEXPORTED_FUNCTIONS=_malloc,_free
        -sNODEJS_CATCH_EXIT=0 -sNODEJS_CATCH_REJECTION=0)
    find_program(ZELIO_CHROMIUM NAMES chromium chromium-browser REQUIRED)
    foreach(mode demo webhid)
        add_test(NAME web_${mode}
            COMMAND "${NODE_JS_EXECUTABLE}" "${PROJECT_SOURCE_DIR}/tests/web/page_test.mjs" ${mode}
                "${PROJECT_BINARY_DIR}" "${ZELIO_CHROMIUM}")
        set_tests_properties(web_${mode} PROPERTIES TIMEOUT 120)
    endforeach()
endif()
