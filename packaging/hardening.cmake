# SPDX-License-Identifier: GPL-3.0-or-later
# Debian's hardening flags for optimised builds, and so for the Debian package: fortified libc
# calls, the stack protector, format-string checks, and a relocation table made read-only and
# bound at start (relro, bindnow). The compiler builds position-independent executables already.
#
# dpkg-buildflags names the flags where it is installed (with every hardening feature asked
# for); the build type keeps choosing -g and -O, and the build folder's paths stay as they are.
# Where dpkg-buildflags is missing the same set is used as written below.
#
# Sets LUMO_HARDENING_COMPILE_FLAGS and LUMO_HARDENING_LINK_FLAGS and adds them to every target
# defined after the include.

set(LUMO_HARDENING_COMPILE_FLAGS
    -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat -Werror=format-security)
set(LUMO_HARDENING_LINK_FLAGS -Wl,-z,relro -Wl,-z,now)

find_program(LUMO_DPKG_BUILDFLAGS dpkg-buildflags)
mark_as_advanced(LUMO_DPKG_BUILDFLAGS)

# The flags dpkg-buildflags gives for one kind (CPPFLAGS, CXXFLAGS, LDFLAGS) in out; out is left
# unset when the tool fails.
function(lumo_dpkg_buildflags kind out)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${LUMO_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags
        OUTPUT_STRIP_TRAILING_WHITESPACE
        RESULT_VARIABLE status
        ERROR_QUIET)
    if(NOT status EQUAL 0)
        unset(${out} PARENT_SCOPE)
        return()
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    # The build type's debug and optimisation choice, and prefix maps of dpkg's working folder.
    list(FILTER flags EXCLUDE REGEX "^-(g.*|O.*|f(file|debug|macro)-prefix-map=.*)$")
    set(${out} ${flags} PARENT_SCOPE)
endfunction()

if(LUMO_DPKG_BUILDFLAGS)
    lumo_dpkg_buildflags(CPPFLAGS cppflags)
    lumo_dpkg_buildflags(CXXFLAGS cxxflags)
    lumo_dpkg_buildflags(LDFLAGS ldflags)
    if(DEFINED cppflags AND DEFINED cxxflags AND DEFINED ldflags)
        set(LUMO_HARDENING_COMPILE_FLAGS ${cppflags} ${cxxflags})
        set(LUMO_HARDENING_LINK_FLAGS ${ldflags})
    endif()
endif()

add_compile_options(${LUMO_HARDENING_COMPILE_FLAGS})
add_link_options(${LUMO_HARDENING_LINK_FLAGS})
message(STATUS "Hardening: ${LUMO_HARDENING_COMPILE_FLAGS} ${LUMO_HARDENING_LINK_FLAGS}")
