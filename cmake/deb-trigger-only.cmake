# CPack post-build step of the Debian packages. CPack gives every package
# with a shared library in /usr/lib a postinst and a postrm that call
# ldconfig; the library package activates dpkg's ldconfig trigger instead.
# This packs those packages again without the two scripts (only where they
# do nothing but call ldconfig).
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
    if(NOT deb MATCHES "\\.deb$")
        continue()
    endif()
    set(dir "${deb}.tree")
    file(REMOVE_RECURSE "${dir}")
    execute_process(COMMAND dpkg-deb -R "${deb}" "${dir}" COMMAND_ERROR_IS_FATAL ANY)
    if(EXISTS "${dir}/DEBIAN/triggers")
        set(repack FALSE)
        foreach(script postinst postrm)
            if(EXISTS "${dir}/DEBIAN/${script}")
                file(READ "${dir}/DEBIAN/${script}" text)
                string(REGEX REPLACE "#![^\n]*|set -e|if \\[ \"\\$1\" = \"[a-z]+\" \\]; then|ldconfig|fi|[ \t\n]" "" rest "${text}")
                if(rest STREQUAL "")
                    file(REMOVE "${dir}/DEBIAN/${script}")
                    set(repack TRUE)
                endif()
            endif()
        endforeach()
        if(repack)
            execute_process(COMMAND dpkg-deb --root-owner-group -Zgzip -b "${dir}" "${deb}"
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
        endif()
    endif()
    file(REMOVE_RECURSE "${dir}")
endforeach()
