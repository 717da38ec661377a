# Installation and the Debian package.
#
# `cmake --install` puts both programs in bin/, their manual pages in share/man/man1/, the
# copyright and changelog in share/doc/chgtune/, the files of examples/ (systemd units) in
# share/doc/chgtune/examples/ and chgtune's bash completion in share/bash-completion/completions/
# under the prefix. Debian keeps manual pages and
# changelogs gzip-compressed (best compression, no name or time stamp, so the package is
# reproducible); without gzip the plain files are installed, which man and zless read too.
include(GNUInstallDirs)
install(TARGETS chgtune RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET chgsim)
  install(TARGETS chgsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${CMAKE_SOURCE_DIR}/packaging/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Where bash-completion looks for a command's completion when it is first asked for.
install(FILES ${CMAKE_SOURCE_DIR}/packaging/bash-completion/chgtune
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
# Examples to copy, as they are (a unit file is read and edited where it is put).
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/examples)

find_program(GZIP_PROGRAM gzip)
# packed_file(SOURCE DESTINATION): installs SOURCE gzip-compressed as <name>.gz in DESTINATION.
function(packed_file source destination)
  get_filename_component(name ${source} NAME)
  if(NOT GZIP_PROGRAM)
    install(FILES ${source} DESTINATION ${destination})
    return()
  endif()
  set(packed ${CMAKE_BINARY_DIR}/packed/${destination}/${name}.gz)
  get_filename_component(folder ${packed} DIRECTORY)
  add_custom_command(OUTPUT ${packed}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${folder}/${name}
    COMMAND ${GZIP_PROGRAM} -9nf ${folder}/${name}
    DEPENDS ${source}
    COMMENT "Compressing ${name}"
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY CHGTUNE_PACKED_FILES ${packed})
  install(FILES ${packed} DESTINATION ${destination})
endfunction()
foreach(page chgtune.1 chgsim.1)
  packed_file(${CMAKE_SOURCE_DIR}/man/${page} ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
packed_file(${CMAKE_SOURCE_DIR}/packaging/changelog ${CMAKE_INSTALL_DOCDIR})
get_property(packed_files GLOBAL PROPERTY CHGTUNE_PACKED_FILES)
# Named man_pages since the pages were its first files; scripts/package builds it.
add_custom_target(man_pages ALL DEPENDS ${packed_files})

# `cpack -G DEB` (scripts/package) builds chgtune_<version>_<architecture>.deb for the architecture
# the programs are built for: the build machine's, or the toolchain file's CHGTUNE_DEB_ARCH in a
# cross build. Its Depends line comes from dpkg-shlibdeps, which names the Debian packages of the
# shared libraries the binaries really load (the Boost runtime library, libstdc++6, libc6); where
# that tool is missing the list is written here by hand for Debian 12.
if(NOT CHGTUNE_DEB_ARCH)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE CHGTUNE_DEB_ARCH
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME chgtune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
# The address that reaches the people who look after the package; a build for a distribution or
# a site names its own with -DCHGTUNE_MAINTAINER="Name <address>".
set(CHGTUNE_MAINTAINER "chgtune project <maintainers@chgtune.example.org>" CACHE STRING
  "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT "${CHGTUNE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "read and change the settings of an MPPT solar charge controller")
# Debian wraps no description lines: each line here is a line of `apt show`, at most 80 wide.
set(CPACK_PACKAGE_DESCRIPTION "\
chgtune reads the settings of an MPPT solar charge controller over its serial
port, shows them in plain language and changes them from the command line or an
interactive menu. It saves all settings to an XML file and writes such a file
back, resets the charger to its factory defaults, clears its history and sets
its clock. chgsim, a simulated charger on a pseudo-terminal, is included for
trying chgtune without a charger.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE ${CHGTUNE_DEB_ARCH})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# Folders in the package are rwxr-xr-x whatever the umask of the machine that builds it.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
find_program(DPKG_SHLIBDEPS_PROGRAM dpkg-shlibdeps)
find_program(FILE_PROGRAM file)
if(DPKG_SHLIBDEPS_PROGRAM AND FILE_PROGRAM)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  if(CMAKE_CROSSCOMPILING)
    # dpkg-shlibdeps looks for the libraries, and reads them with objdump, for the architecture
    # DEB_HOST_ARCH names; cpack reads this file before it packs, and its children inherit that.
    file(WRITE ${CMAKE_BINARY_DIR}/CPackHostArch.cmake
      "set(ENV{DEB_HOST_ARCH} ${CHGTUNE_DEB_ARCH})\n")
    set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/CPackHostArch.cmake)
  endif()
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libboost-program-options1.74.0")
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libc6 (>= 2.34), libgcc-s1 (>= 3.0), libstdc++6 (>= 12)")
  # The MQTT client library of the publisher (publish/).
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libmosquitto1 (>= 2.0)")
endif()
include(CPack)
