# Tests of the Windows build (scripts/test --windows), run under Wine in the prefix that WINEPREFIX
# names; the test script makes a fresh one.
#
# 1. The unit tests that need nothing Linux-only, cross-built: one program per folder, as in the
#    Linux build, run whole under Wine (one Wine start per program, not per test); tests/windows
#    holds tests of the Windows platform code itself.
# 2. End to end: tests/wine, a Linux program from the native build folder CHGTUNE_NATIVE_BUILD,
#    runs the simulated charger on a pseudo-terminal and this build's chgtune.exe under Wine with
#    the pseudo-terminal mapped as a COM port, and compares with the Linux binary.

# GoogleTest from the source Debian ships with libgtest-dev.
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Debian's wine64 keeps its loader and server outside PATH.
find_program(CHGTUNE_WINE NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(CHGTUNE_WINE NAMES wine64)
find_program(CHGTUNE_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(CHGTUNE_WINESERVER NAMES wineserver)
if(NOT CHGTUNE_WINE OR NOT CHGTUNE_WINESERVER)
  message(WARNING "Wine not found: the Windows tests are built but cannot run (scripts/deps --windows)")
endif()
set(wine_environment WINEDEBUG=-all "WINEDLLOVERRIDES=mscoree,mshtml=")

# The shared test helpers that work without pseudo-terminals and child processes.
add_library(chgtune_test_support STATIC support/log_capture.cpp support/empty.cpp)
target_link_libraries(chgtune_test_support PUBLIC chgtune_core GTest::gtest GTest::gmock)
# Tests stand outside the layering: they may reach every folder (and include one another's helpers
# as "tests/...").
target_include_directories(chgtune_test_support PUBLIC ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_SOURCE_DIR})

# A test source is left out when it includes something Linux-only: the simulated charger, the
# pseudo-terminal and child-process helpers, or POSIX headers. Besides those, the sysfs port
# listing's test and the panel's terminal codes are Linux's alone.
set(linux_only_includes
  "sim/|tests/sim/|support/(e2e_support|process|pty_peer|scripted_device|sim_link)\\.h|platform/pty\\.h|(unistd|poll|fcntl|termios|signal)\\.h|sys/")
set(linux_only_tests platform/serial_ports_test.cpp app/watch_panel_test.cpp)

foreach(folder base codec app link protocol device settings charger console platform windows publish)
  file(GLOB test_sources CONFIGURE_DEPENDS RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${folder}/*_test.cpp)
  set(windows_sources)
  foreach(source IN LISTS test_sources)
    if(source IN_LIST linux_only_tests)
      continue()
    endif()
    file(STRINGS ${source} linux_only REGEX "^#include [<\"](${linux_only_includes})")
    if(NOT linux_only)
      list(APPEND windows_sources ${source})
    endif()
  endforeach()
  if(windows_sources)
    add_executable(chgtune_${folder}_tests ${windows_sources})
    target_link_libraries(chgtune_${folder}_tests PRIVATE chgtune_test_support GTest::gtest_main)
    add_test(NAME windows.${folder} COMMAND ${CHGTUNE_WINE} $<TARGET_FILE:chgtune_${folder}_tests>)
    set_tests_properties(windows.${folder} PROPERTIES
      LABELS windows TIMEOUT 600 ENVIRONMENT "${wine_environment}")
  endif()
endforeach()

# Statically linked: nothing but Windows' own DLLs imported.
add_test(NAME windows.static_exe COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP}
  -DPROGRAM=$<TARGET_FILE:chgtune> -P ${CMAKE_CURRENT_SOURCE_DIR}/windows_imports.cmake)
set_tests_properties(windows.static_exe PROPERTIES LABELS windows)

# The ZIP that scripts/package --windows makes, unpacked, and the exe in it run.
add_test(NAME windows.package COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/windows_package.sh)
set_tests_properties(windows.package PROPERTIES LABELS windows TIMEOUT 300 ENVIRONMENT
  "${wine_environment};BUILD_DIR=${CMAKE_BINARY_DIR};WINE=${CHGTUNE_WINE};VERSION=${PROJECT_VERSION}")

set(CHGTUNE_NATIVE_BUILD "" CACHE PATH
  "Linux build folder of the same source, for the end-to-end tests under Wine")
if(CHGTUNE_NATIVE_BUILD)
  add_test(NAME windows.e2e COMMAND ${CHGTUNE_NATIVE_BUILD}/tests/chgtune_wine_tests)
  set_tests_properties(windows.e2e PROPERTIES
    LABELS windows TIMEOUT 900
    ENVIRONMENT "${wine_environment};WINE=${CHGTUNE_WINE};WINESERVER=${CHGTUNE_WINESERVER};CHGTUNE_EXE=$<TARGET_FILE:chgtune>")
endif()
