# Installation rules and packages. Included once, at the end of the top-level
# CMakeLists.txt, so that every target and install rule exists by then.
#
# Every install() names one of these components:
#   cli     zelioctl, its udev rule, man page and bash completion
#   gui     zelio.exe and zelio-demo.exe (Windows)
#   lib     the shared library (libzelio.so.N, zelio.dll)
#   dev     headers, CMake package files, pkg-config file
#   python  the Python package
#   doc     README and LICENSE
#   web     the configurator page, when ZELIO_WEB_DIR names a built one
# The library's own rules (lib, dev) sit next to its target; the rest are here.
# Packages take every component that has something to install:
#   Linux    cpack -G DEB       packages/zelio_<version>_<arch>.deb
#   Windows  cpack -G NSIS;ZIP  packages/zelio-<version>-win64.exe / .zip
# (run cpack in the build directory; the release presets build the binaries
# that are meant to ship).

include(GNUInstallDirs)

# ---------------------------------------------------------------------------
# Programs
# ---------------------------------------------------------------------------
install(TARGETS zelioctl RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT cli)
if(WIN32)
    install(TARGETS zelio zelio-demo RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT gui)
endif()

# ---------------------------------------------------------------------------
# zelioctl's companions on Linux: udev rule, man page, bash completion
# ---------------------------------------------------------------------------
set(ZELIO_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING
    "Where the udev rule is installed (relative to the install prefix)")
if(NOT WIN32)
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/linux/70-zelio.rules"
        DESTINATION "${ZELIO_UDEV_RULES_DIR}" COMPONENT cli)
    install(FILES "${PROJECT_SOURCE_DIR}/docs/zelioctl.1"
        DESTINATION "${CMAKE_INSTALL_MANDIR}/man1" COMPONENT cli)
    install(FILES "${PROJECT_SOURCE_DIR}/packaging/bash-completion/zelioctl"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/bash-completion/completions" COMPONENT cli)
endif()

# The Python package and the shared library install themselves (component
# python, lib, dev: see ZelioLibrary.cmake); the packages below take them in.

# ---------------------------------------------------------------------------
# Documents
# ---------------------------------------------------------------------------
if(WIN32)
    set(_zelio_doc_dir ".")
else()
    set(_zelio_doc_dir "${CMAKE_INSTALL_DOCDIR}")
endif()
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE"
    DESTINATION "${_zelio_doc_dir}" COMPONENT doc)

# The configurator page (built by the web preset; ./test passes build/web).
set(ZELIO_WEB_DIR "" CACHE PATH "The built configurator page to install in share/zelio/web (empty: none)")
if(ZELIO_WEB_DIR)
    list(TRANSFORM ZELIO_WEB_FILES PREPEND "${ZELIO_WEB_DIR}/" OUTPUT_VARIABLE _zelio_web_files)
    install(FILES ${_zelio_web_files} DESTINATION "${CMAKE_INSTALL_DATADIR}/zelio/web" COMPONENT web)
endif()

# ---------------------------------------------------------------------------
# CPack
# ---------------------------------------------------------------------------
get_cmake_property(ZELIO_INSTALL_COMPONENTS COMPONENTS)
message(STATUS "zelio install components: ${ZELIO_INSTALL_COMPONENTS}")

set(ZELIO_PACKAGE_CONTACT "the zelio developers" CACHE STRING
    "Maintainer named in the packages (\"Name <address>\")")

set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME "zelio")
set(CPACK_PACKAGE_VENDOR "the zelio developers")
set(CPACK_PACKAGE_CONTACT "${ZELIO_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "zelio configures and tests the ZEL280 and ZEL260 eight-channel USB I/O
modules: product ID, channel modes and default levels, output tests, reset,
and a list of the attached modules. This package holds the command-line tool
zelioctl with its udev rule, man page and bash completion, the shared
library with its headers, and the Python package.")
set(CPACK_PACKAGE_INSTALL_DIRECTORY "zelio")
set(CPACK_PACKAGE_INSTALL_REGISTRY_KEY "zelio")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_RESOURCE_FILE_README "${PROJECT_SOURCE_DIR}/README.md")
set(CPACK_OUTPUT_FILE_PREFIX "${PROJECT_BINARY_DIR}/packages")
set(CPACK_PACKAGE_CHECKSUM SHA256)
set(CPACK_STRIP_FILES ON)
# One package with every component (monolithic).
set(CPACK_MONOLITHIC_INSTALL ON)

if(WIN32)
    set(CPACK_GENERATOR "NSIS;ZIP")
    set(ZELIO_WINDOWS_PACKAGE "zelio-${PROJECT_VERSION}-win64")
    set(CPACK_PACKAGE_FILE_NAME "${ZELIO_WINDOWS_PACKAGE}")
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)

    set(CPACK_NSIS_PACKAGE_NAME "zelio ${PROJECT_VERSION}")
    set(CPACK_NSIS_DISPLAY_NAME "zelio ${PROJECT_VERSION}")
    set(CPACK_NSIS_INSTALL_ROOT "$PROGRAMFILES64")
    set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/resources/app.ico")
    set(CPACK_NSIS_MUI_UNIICON "${PROJECT_SOURCE_DIR}/resources/app.ico")
    set(CPACK_NSIS_INSTALLED_ICON_NAME "bin\\zelio.exe")
    set(CPACK_NSIS_COMPRESSOR "/SOLID lzma")
    set(CPACK_NSIS_CONTACT "${ZELIO_PACKAGE_CONTACT}")
    # A new version replaces the one installed before it (silently too).
    set(CPACK_NSIS_ENABLE_UNINSTALL_BEFORE_INSTALL ON)
    set(CPACK_NSIS_MUI_FINISHPAGE_RUN "zelio.exe")
    # Start menu: <folder>\zelio.lnk, <folder>\zelio demo.lnk (and Uninstall.lnk).
    set(CPACK_PACKAGE_EXECUTABLES "zelio;zelio;zelio-demo;zelio demo")
    set(CPACK_NSIS_EXECUTABLES_DIRECTORY "${CMAKE_INSTALL_BINDIR}")
    # A 64-bit installer for 64-bit programs (it also runs where only 64-bit
    # Wine is installed); its own version information; the Start menu folder.
    set(CPACK_NSIS_DEFINES
        "Target amd64-unicode
  !define MUI_STARTMENUPAGE_DEFAULTFOLDER \"zelio\"
  BrandingText \"zelio ${PROJECT_VERSION}\"
  VIProductVersion \"${PROJECT_VERSION}.0\"
  VIAddVersionKey /LANG=1033 \"ProductName\" \"zelio\"
  VIAddVersionKey /LANG=1033 \"CompanyName\" \"${CPACK_PACKAGE_VENDOR}\"
  VIAddVersionKey /LANG=1033 \"FileDescription\" \"zelio ${PROJECT_VERSION} installer\"
  VIAddVersionKey /LANG=1033 \"FileVersion\" \"${PROJECT_VERSION}.0\"
  VIAddVersionKey /LANG=1033 \"ProductVersion\" \"${PROJECT_VERSION}\"
  VIAddVersionKey /LANG=1033 \"LegalCopyright\" \"Copyright (c) ${CPACK_PACKAGE_VENDOR}. MIT License.\"")
else()
    set(CPACK_GENERATOR "DEB")
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
    set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
    # Depends: from the ELF files (dpkg-shlibdeps); the package's own shared
    # library is looked up in the package.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    if(NOT IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}")
        set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS "usr/${CMAKE_INSTALL_LIBDIR}")
    endif()
    if("python" IN_LIST ZELIO_INSTALL_COMPONENTS)
        set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "python3")
    endif()
    # Maintainer scripts: reload udev rules; ldconfig for the shared library.
    set(_zelio_control_extra
        "${PROJECT_SOURCE_DIR}/packaging/debian/postinst"
        "${PROJECT_SOURCE_DIR}/packaging/debian/postrm")
    if("lib" IN_LIST ZELIO_INSTALL_COMPONENTS)
        list(APPEND _zelio_control_extra "${PROJECT_SOURCE_DIR}/packaging/debian/triggers")
    endif()
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA "${_zelio_control_extra}")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
endif()

include(CPack)

# ---------------------------------------------------------------------------
# Package tests: build the packages, then install, use and remove them
# ---------------------------------------------------------------------------
option(ZELIO_PACKAGE_TESTS "Test the packages (cpack, then dpkg or the installer under Wine)" OFF)
if(ZELIO_PACKAGE_TESTS)
    enable_testing()
    add_test(NAME package
        COMMAND "${CMAKE_CPACK_COMMAND}" --config "${PROJECT_BINARY_DIR}/CPackConfig.cmake"
        WORKING_DIRECTORY "${PROJECT_BINARY_DIR}")
    set_tests_properties(package PROPERTIES FIXTURES_SETUP packages TIMEOUT 600)
    if(WIN32 AND CMAKE_CROSSCOMPILING)
        add_test(NAME nsis_install
            COMMAND bash "${PROJECT_SOURCE_DIR}/tests/package/nsis_install_test.sh"
                "${PROJECT_BINARY_DIR}" "${CPACK_OUTPUT_FILE_PREFIX}/${ZELIO_WINDOWS_PACKAGE}")
        set_tests_properties(nsis_install PROPERTIES FIXTURES_REQUIRED packages TIMEOUT 600)
    elseif(NOT WIN32)
        add_test(NAME deb_install
            COMMAND bash "${PROJECT_SOURCE_DIR}/tests/package/deb_install_test.sh"
                "${CPACK_OUTPUT_FILE_PREFIX}" "${PROJECT_VERSION}")
        set_tests_properties(deb_install PROPERTIES FIXTURES_REQUIRED packages TIMEOUT 300)
    endif()
    if(ZELIO_WEB_DIR)
        add_test(NAME package_web COMMAND sh -c "for p in \"$0\"/*.deb \"$0\"/*.zip; do case $p in *.deb) dpkg-deb -c \"$p\";; *.zip) \"$1\" -E tar tf \"$p\";; esac; done | grep 'share/zelio/web/zelio.wasm'"
            "${CPACK_OUTPUT_FILE_PREFIX}" "${CMAKE_COMMAND}")
        set_tests_properties(package_web PROPERTIES FIXTURES_REQUIRED packages)
    endif()
endif()
