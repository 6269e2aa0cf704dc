# The project has one version: project(zelio VERSION x.y.z) in the top-level
# CMakeLists.txt. Everything else is derived from PROJECT_VERSION*:
#
#   zelio_version.h       ZELIO_VERSION ("x.y.z"), ZELIO_VERSION_MAJOR/MINOR/
#                         PATCH, ZELIO_VERSION_RC / ZELIO_VERSION_RC_TEXT for
#                         VERSIONINFO; on the include path of every target
#                         that links zelio_options (and of the .rc scripts).
#   ZELIO_SOVERSION       the shared library's SONAME number:
#                           set_target_properties(<lib> PROPERTIES
#                               VERSION ${PROJECT_VERSION}
#                               SOVERSION ${ZELIO_SOVERSION})
#                         gives libzelio.so.${ZELIO_SOVERSION}.
#   packages              names and versions (cmake/ZelioPackaging.cmake).
#   python/zelio          __version__, checked below (pip reads it there).

set(ZELIO_SOVERSION ${PROJECT_VERSION_MAJOR})
set(ZELIO_GENERATED_INCLUDE_DIR "${PROJECT_BINARY_DIR}/generated")
set(ZELIO_VERSION_HEADER "${ZELIO_GENERATED_INCLUDE_DIR}/zelio_version.h")
configure_file("${CMAKE_CURRENT_LIST_DIR}/zelio_version.h.in" "${ZELIO_VERSION_HEADER}" @ONLY)

# The Python package states the version for pip, which builds it without
# CMake (python/zelio/__init__.py: __version__); it must be this one.
file(STRINGS "${PROJECT_SOURCE_DIR}/python/zelio/__init__.py" _zelio_py_version REGEX "^__version__ = ")
if(NOT _zelio_py_version MATCHES "^__version__ = \"${PROJECT_VERSION}\"")
    message(FATAL_ERROR "python/zelio/__init__.py says ${_zelio_py_version}; the project is ${PROJECT_VERSION}")
endif()
