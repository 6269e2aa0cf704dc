# Checks what the shared library shows the outside world:
#   FORMAT=elf  TOOL=nm       the defined dynamic symbols are zelio_* only
#   FORMAT=pe   TOOL=objdump  the export table holds zelio_* only, and every
#                             imported DLL is one of Windows' own
#   IMPORTS_ONLY=ON           a program's imports only
# cmake -DLIBRARY=<file> -DTOOL=<program> -DFORMAT=elf|pe -P check_exports.cmake

cmake_minimum_required(VERSION 3.21)

if(FORMAT STREQUAL "elf")
    set(_args -D --defined-only "${LIBRARY}")
else()
    set(_args -p "${LIBRARY}")
endif()
execute_process(COMMAND "${TOOL}" ${_args}
    OUTPUT_VARIABLE _out ERROR_VARIABLE _err RESULT_VARIABLE _rc)
if(NOT _rc EQUAL 0)
    message(FATAL_ERROR "${TOOL} failed (${_rc}): ${_err}")
endif()
string(REPLACE "\r" "" _out "${_out}")
string(REPLACE "\n" ";" _lines "${_out}")

set(_exports "")
set(_imports "")
set(_in_export_table FALSE)
foreach(_line IN LISTS _lines)
    if(FORMAT STREQUAL "elf")
        # "<address> <type> <name>[@version]"
        if(_line MATCHES "^[0-9a-fA-F]+ [A-Za-z] ([^@ ]+)")
            list(APPEND _exports "${CMAKE_MATCH_1}")
        endif()
    else()
        if(_line MATCHES "^\\[Ordinal/Name Pointer\\] Table")
            set(_in_export_table TRUE)
        elseif(_in_export_table AND _line MATCHES "^[ \t]*\\[ *[0-9]+\\] ([^ \t]+)")
            list(APPEND _exports "${CMAKE_MATCH_1}")
        elseif(_in_export_table AND NOT _line MATCHES "^[ \t]*$")
            set(_in_export_table FALSE)
        endif()
        if(_line MATCHES "DLL Name: ([^ \t]+)")
            list(APPEND _imports "${CMAKE_MATCH_1}")
        endif()
    endif()
endforeach()

if(IMPORTS_ONLY)  # a program: no exports to check
elseif(NOT "zelio_open" IN_LIST _exports OR NOT "zelio_emulate" IN_LIST _exports OR NOT "zelio_list_details" IN_LIST _exports
       OR NOT "zelio_select_serial" IN_LIST _exports OR NOT "zelio_select_port" IN_LIST _exports)
    message(FATAL_ERROR "zelio_open, _emulate, _list_details, _select_serial or _select_port not among the exports of ${LIBRARY}:\n${_exports}\n${_out}")
endif()
set(_bad "")
foreach(_symbol IN LISTS _exports)
    if(NOT _symbol MATCHES "^zelio_")
        list(APPEND _bad "${_symbol}")
    endif()
endforeach()
if(_bad)
    message(FATAL_ERROR "${LIBRARY} exports more than zelio_*: ${_bad}")
endif()

# DLLs Windows loads from System32 whatever the program's folder holds.
set(_system_dlls kernel32 msvcrt ucrtbase ntdll advapi32 user32 gdi32 comctl32 comdlg32 shell32 ole32 ws2_32)
set(_bad "")
foreach(_dll IN LISTS _imports)
    string(TOLOWER "${_dll}" _name)
    string(REGEX REPLACE "\\.dll$" "" _name "${_name}")
    if(NOT _name IN_LIST _system_dlls AND NOT _name MATCHES "^api-ms-win-")
        list(APPEND _bad "${_dll}")
    endif()
endforeach()
if(_bad)
    message(FATAL_ERROR "${LIBRARY} imports DLLs that Windows may load from the program's folder: ${_bad}")
endif()
if(FORMAT STREQUAL "pe" AND NOT _imports)
    message(FATAL_ERROR "no import table found in ${LIBRARY}:\n${_out}")
endif()
list(LENGTH _exports _count)
message(STATUS "${LIBRARY}: ${_count} exports, all zelio_*; imports: ${_imports}")
