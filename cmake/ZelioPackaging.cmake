# Installation rules and packages. Included once, at the end of the top-level
# CMakeLists.txt, so that every target and install rule exists by then.
#
# Every install() names one of these components:
#   cli     zelioctl, its udev rule, man page and bash completion
#   gui     zelio.exe and zelio-demo.exe (Windows)
#   lib     the shared library (libzelio.so.N, zelio.dll)
#   dev     headers, CMake package files, pkg-config file
#   python  the Python package
#   doc     README, LICENSE and the references in docs/
#   web     the configurator page, when ZELIO_WEB_DIR names a built one
# The library's own rules (lib, dev) sit next to its target; the rest are here.
# Packages:
#   Linux    cpack -G DEB       one package per role, as Debian splits them
#                               (packages/<name>_<version>_<arch>.deb):
#              zelio          cli, doc, web and every other component
#              libzelio1      lib
#              libzelio-dev   dev
#              python3-zelio  python (architecture all)
#   Windows  cpack -G NSIS;ZIP  every component in one installer and one zip
#                               (packages/zelio-<version>-win64.exe / .zip)
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
set(ZELIO_PACKAGE_CONTACT "the zelio developers <zelio@example.org>" CACHE STRING
    "Maintainer named in the packages and their changelog (\"Name <address>\")")
if(NOT WIN32)
    # Installed pages and changelogs are compressed with gzip -9n (no name,
    # no time stamp: the same bytes on every build).
    find_program(ZELIO_GZIP gzip REQUIRED)
    set(_zelio_deb_dir "${PROJECT_BINARY_DIR}/debian")
    configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in" "${_zelio_deb_dir}/changelog" @ONLY)
    set(_zelio_gzipped)
    foreach(_zelio_pair "docs/zelioctl.1|${_zelio_deb_dir}/zelioctl.1.gz"
                        "${_zelio_deb_dir}/changelog|${_zelio_deb_dir}/changelog.gz")
        string(REPLACE "|" ";" _zelio_pair "${_zelio_pair}")
        list(GET _zelio_pair 0 _zelio_in)
        list(GET _zelio_pair 1 _zelio_out)
        add_custom_command(OUTPUT "${_zelio_out}"
            COMMAND sh -c "\"$0\" -9nc \"$1\" > \"$2\"" "${ZELIO_GZIP}" "${_zelio_in}" "${_zelio_out}"
            DEPENDS "${_zelio_in}" WORKING_DIRECTORY "${PROJECT_SOURCE_DIR}" VERBATIM)
        list(APPEND _zelio_gzipped "${_zelio_out}")
    endforeach()
    add_custom_target(zelio_compressed_docs ALL DEPENDS ${_zelio_gzipped})

    # The machine-readable copyright file, from LICENSE: the holder from its
    # "Copyright (c)" line, the permission text after it as the licence.
    file(READ "${PROJECT_SOURCE_DIR}/LICENSE" _zelio_license)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/LICENSE")
    if(NOT _zelio_license MATCHES "Copyright \\(c\\) ([^\n]+)\n+(.+[^\n])\n*$")
        message(FATAL_ERROR "LICENSE has no \"Copyright (c)\" line followed by the licence text")
    endif()
    set(ZELIO_COPYRIGHT_HOLDER "${CMAKE_MATCH_1}")
    string(REGEX REPLACE "\n\n+" "\n.\n" ZELIO_LICENSE_TEXT "${CMAKE_MATCH_2}")
    string(REPLACE "\n" "\n " ZELIO_LICENSE_TEXT " ${ZELIO_LICENSE_TEXT}")
    configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in" "${_zelio_deb_dir}/copyright" @ONLY)

    # Each Debian package carries both in /usr/share/doc/<package>; a plain
    # install (no component named) leaves them out.
    foreach(_zelio_pair "zelio|cli" "libzelio1|lib" "libzelio-dev|dev" "python3-zelio|python")
        string(REPLACE "|" ";" _zelio_pair "${_zelio_pair}")
        list(GET _zelio_pair 0 _zelio_package)
        list(GET _zelio_pair 1 _zelio_component)
        install(FILES "${_zelio_deb_dir}/copyright" "${_zelio_deb_dir}/changelog.gz"
            DESTINATION "${CMAKE_INSTALL_DATAROOTDIR}/doc/${_zelio_package}"
            COMPONENT ${_zelio_component} EXCLUDE_FROM_ALL)
    endforeach()

    install(FILES "${PROJECT_SOURCE_DIR}/packaging/linux/70-zelio.rules"
        DESTINATION "${ZELIO_UDEV_RULES_DIR}" COMPONENT cli)
    install(FILES "${_zelio_deb_dir}/zelioctl.1.gz"
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
# The references the README links to, in the same places relative to it.
install(FILES
    "${PROJECT_SOURCE_DIR}/docs/zelioctl.md"
    "${PROJECT_SOURCE_DIR}/docs/library.md"
    "${PROJECT_SOURCE_DIR}/docs/building.md"
    "${PROJECT_SOURCE_DIR}/docs/source-layout.md"
    "${PROJECT_SOURCE_DIR}/docs/screenshot.png"
    "${PROJECT_SOURCE_DIR}/docs/web-screenshot.png"
    DESTINATION "${_zelio_doc_dir}/docs" COMPONENT doc)

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
if(WIN32)
    # One installer and one zip with every component.
    set(CPACK_MONOLITHIC_INSTALL ON)
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
    # No "Run zelio" on the finish page: the installer runs elevated, and so
    # would the program it started.
    # A folder outside Program Files gets an access list of its own.
    set(CPACK_NSIS_EXTRA_PREINSTALL_COMMANDS "!include \"${PROJECT_SOURCE_DIR}/packaging/windows/protect_folder.nsh\"")
    # .kbd files open in zelio.exe; the uninstaller takes the type out again.
    set(CPACK_NSIS_EXTRA_INSTALL_COMMANDS "!insertmacro ZELIO_REGISTER_FILE_TYPE")
    set(CPACK_NSIS_EXTRA_UNINSTALL_COMMANDS "!insertmacro ZELIO_UNREGISTER_FILE_TYPE")
    # The pages in English and Korean, the language chosen first: CPack's own
    # template with its list of languages replaced by ours (languages.nsh),
    # the choice asked at the start of .onInit and kept for the uninstaller,
    # and its English-only message boxes taken from the language strings.
    file(READ "${CMAKE_ROOT}/Modules/Internal/CPack/NSIS.template.in" _zelio_nsis)
    function(_zelio_nsis_replace old new)
        string(FIND "${_zelio_nsis}" "${old}" _zelio_at)
        if(_zelio_at EQUAL -1)
            message(FATAL_ERROR "CPack's NSIS template has no \"${old}\": see cmake/ZelioPackaging.cmake")
        endif()
        string(REPLACE "${old}" "${new}" _zelio_nsis "${_zelio_nsis}")
        set(_zelio_nsis "${_zelio_nsis}" PARENT_SCOPE)
    endfunction()
    string(REGEX REPLACE "(\n  !insertmacro MUI_LANGUAGE \"[A-Za-z]+\"[^\n]*)+" "\n  ZELIO_LANGUAGES"
        _zelio_nsis "${_zelio_nsis}")
    _zelio_nsis_replace("ZELIO_LANGUAGES" "!include \"${PROJECT_SOURCE_DIR}/packaging/windows/languages.nsh\"")
    _zelio_nsis_replace("Function .onInit\n" "Function .onInit\n  !insertmacro MUI_LANGDLL_DISPLAY\n")
    _zelio_nsis_replace("Function un.onInit\n" "Function un.onInit\n  !insertmacro MUI_UNGETLANGUAGE\n")
    _zelio_nsis_replace("\"@CPACK_NSIS_PACKAGE_NAME@ is already installed. $\\n$\\nDo you want to uninstall the old version before installing the new one?\""
        "\"$(zelio_already_installed)\"")
    _zelio_nsis_replace("\"Uninstall failed.\"" "\"$(zelio_uninstall_failed)\"")
    file(WRITE "${PROJECT_BINARY_DIR}/nsis/NSIS.template.in" "${_zelio_nsis}")
    list(PREPEND CMAKE_MODULE_PATH "${PROJECT_BINARY_DIR}/nsis")
    # Start menu: <folder>\zelio.lnk, <folder>\zelio demo.lnk (and Uninstall.lnk).
    set(CPACK_PACKAGE_EXECUTABLES "zelio;zelio;zelio-demo;zelio demo")
    set(CPACK_NSIS_EXECUTABLES_DIRECTORY "${CMAKE_INSTALL_BINDIR}")
    # A 64-bit installer for 64-bit programs (it also runs where only 64-bit
    # Wine is installed); its own version information; the Start menu folder.
    set(CPACK_NSIS_DEFINES
        "Target amd64-unicode
  !define MUI_STARTMENUPAGE_DEFAULTFOLDER \"zelio\"
  !define MUI_LANGDLL_REGISTRY_ROOT HKLM
  !define MUI_LANGDLL_REGISTRY_KEY \"Software\\${CPACK_PACKAGE_VENDOR}\\${CPACK_PACKAGE_INSTALL_REGISTRY_KEY}\"
  !define MUI_LANGDLL_REGISTRY_VALUENAME \"Installer Language\"
  !include \"${PROJECT_SOURCE_DIR}/packaging/windows/file_type.nsh\"
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
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SOURCE "zelio")
    set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
    if(ZELIO_DEB_ARCHITECTURE)
        # Cross builds name theirs (the toolchain file sets it).
        set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE "${ZELIO_DEB_ARCHITECTURE}")
    endif()
    # Depends: from the ELF files (dpkg-shlibdeps). libzelio1 gets a shlibs
    # file: the ABI only grows, so any later version will do.
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
    # Each package's first description line is its own summary: CPack puts
    # the common one in front unless it is CPack's placeholder.
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_NAME} built using CMake")
    set(_zelio_about "zelio configures and tests the ZEL280 and ZEL260 eight-channel USB I/O
modules: product ID, channel modes and default levels, output tests, reset,
and a list of the attached modules.")

    # The component groups are the packages; a component without a group of
    # its own belongs to the tool package.
    foreach(_zelio_component IN LISTS ZELIO_INSTALL_COMPONENTS)
        string(TOUPPER "${_zelio_component}" _zelio_upper)
        set(_zelio_group TOOL)
        if(_zelio_component STREQUAL "lib")
            set(_zelio_group RUNTIME)
        elseif(_zelio_component STREQUAL "dev")
            set(_zelio_group DEVELOPMENT)
        elseif(_zelio_component STREQUAL "python")
            set(_zelio_group PYTHON)
        endif()
        set(CPACK_COMPONENT_${_zelio_upper}_GROUP ${_zelio_group})
    endforeach()

    set(CPACK_DEBIAN_TOOL_PACKAGE_NAME "zelio")
    set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION "electronics")
    set(CPACK_DEBIAN_TOOL_DESCRIPTION "configure and test eight-channel USB HID I/O modules
${_zelio_about}
This package holds the command-line tool zelioctl with its udev rule, man
page and bash completion.")
    # Reload the udev rules when the rule comes and goes; the postinst makes
    # the rule's group with addgroup.
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS "adduser")
    set(CPACK_DEBIAN_TOOL_PACKAGE_CONTROL_EXTRA
        "${PROJECT_SOURCE_DIR}/packaging/debian/postinst"
        "${PROJECT_SOURCE_DIR}/packaging/debian/postrm")

    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME "libzelio1")
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION "libs")
    set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "library for eight-channel USB HID I/O modules
${_zelio_about}
This package holds the shared library with the C interface.")
    # ldconfig runs through dpkg's trigger, as for Debian's own libraries;
    # the scripts CPack adds to call it are taken out again.
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA "${PROJECT_SOURCE_DIR}/packaging/debian/triggers")
    set(CPACK_POST_BUILD_SCRIPTS "${PROJECT_SOURCE_DIR}/cmake/deb-trigger-only.cmake")

    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME "libzelio-dev")
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION "libdevel")
    set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libzelio1 (= ${PROJECT_VERSION})")
    set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "development files for libzelio
${_zelio_about}
This package holds what programs that use the library are built with: the C
header zelio.h, the CMake package zelio::zelio and the pkg-config file
zelio.pc.")

    set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME "python3-zelio")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION "python")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_ARCHITECTURE "all")
    set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS "python3, libzelio1 (>= ${PROJECT_VERSION})")
    # Byte-compiled on installation and cleaned on removal (py3compile, py3clean).
    set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
        "${PROJECT_SOURCE_DIR}/packaging/debian/python3-zelio/postinst"
        "${PROJECT_SOURCE_DIR}/packaging/debian/python3-zelio/prerm")
    set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python 3 interface to libzelio
${_zelio_about}
This package holds the Python package zelio, which uses the shared library
through ctypes.")
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
        # Packages of another architecture run under the emulator (qemu).
        add_test(NAME deb_install
            COMMAND bash "${PROJECT_SOURCE_DIR}/tests/package/deb_install_test.sh"
                "${CPACK_OUTPUT_FILE_PREFIX}" "${PROJECT_VERSION}" ${CMAKE_CROSSCOMPILING_EMULATOR})
        # Debian's own checks: any error or warning fails.
        find_program(ZELIO_LINTIAN lintian REQUIRED)
        add_test(NAME deb_lintian
            COMMAND sh -c "\"$0\" --fail-on error,warning \"$1\"/*.deb" "${ZELIO_LINTIAN}" "${CPACK_OUTPUT_FILE_PREFIX}")
        set_tests_properties(deb_install deb_lintian PROPERTIES FIXTURES_REQUIRED packages TIMEOUT 300)
    endif()
    if(ZELIO_WEB_DIR)
        add_test(NAME package_web COMMAND sh -c "for p in \"$0\"/*.deb \"$0\"/*.zip; do case $p in *.deb) dpkg-deb -c \"$p\";; *.zip) \"$1\" -E tar tf \"$p\";; esac; done | grep 'share/zelio/web/zelio.wasm'"
            "${CPACK_OUTPUT_FILE_PREFIX}" "${CMAKE_COMMAND}")
        set_tests_properties(package_web PROPERTIES FIXTURES_REQUIRED packages)
    endif()
endif()
