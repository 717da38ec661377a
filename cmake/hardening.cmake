# Debian's hardening flags (fortified string and memory functions, stack protector, format-string
# checks, read-only relocations bound at start), for every plain build: the programs the tests run
# are the programs the package ships. They come from dpkg-buildflags with hardening=+all for the
# target architecture, so they follow Debian's policy; the list below stands in where it is
# missing. Sanitizer and fuzz builds go without: their instrumentation checks what these guard,
# and they are never shipped.
#
# Left out of dpkg-buildflags' lists: -g and -O (the build type decides them), its file prefix map
# (CMakeLists.txt maps the source tree) and -Wdate-time: the build date that --version shows is
# wanted, and SOURCE_DATE_EPOCH makes it reproducible.
if(CHGTUNE_SANITIZE OR CHGTUNE_FUZZ)
  return()
endif()

set(hardening_cppflags -D_FORTIFY_SOURCE=2)
set(hardening_cxxflags -fstack-protector-strong -Wformat -Werror=format-security)
set(hardening_ldflags -Wl,-z,relro -Wl,-z,now)
find_program(DPKG_BUILDFLAGS_PROGRAM dpkg-buildflags)
if(DPKG_BUILDFLAGS_PROGRAM)
  set(buildflags_environment DEB_BUILD_MAINT_OPTIONS=hardening=+all)
  if(CHGTUNE_DEB_ARCH)
    list(APPEND buildflags_environment DEB_HOST_ARCH=${CHGTUNE_DEB_ARCH})
  endif()
  foreach(kind cppflags cxxflags ldflags)
    string(TOUPPER ${kind} name)
    execute_process(
      COMMAND ${CMAKE_COMMAND} -E env ${buildflags_environment}
        ${DPKG_BUILDFLAGS_PROGRAM} --get ${name}
      OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE
      RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "dpkg-buildflags --get ${name} failed (${status})")
    endif()
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^(-g.*|-O.*|-f(file|debug|macro)-prefix-map=.*|-Wdate-time)$")
    set(hardening_${kind} ${flags})
  endforeach()
endif()
string(JOIN " " hardening_flags ${hardening_cppflags} ${hardening_cxxflags} ${hardening_ldflags})
message(STATUS "Hardening: ${hardening_flags}")

# Fortified functions need the optimiser; a Debug build would only warn that they are off.
add_compile_options("$<$<NOT:$<CONFIG:Debug>>:${hardening_cppflags}>" ${hardening_cxxflags})
add_link_options(${hardening_ldflags})
