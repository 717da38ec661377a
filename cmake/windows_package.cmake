# Installation and the ZIP of the Windows build (`scripts/package --windows`):
# chgtune-<version>-win64.zip with one folder holding chgtune.exe, the manual as text (chgtune.txt),
# README.txt for Windows users, the program's licence (LICENSE.txt) and the notices of the
# libraries linked into the exe (NOTICES.txt). The exe is linked statically, so nothing else is
# needed.
find_program(GROFF_PROGRAM groff)
if(NOT GROFF_PROGRAM)
  message(FATAL_ERROR "groff is needed to render the manual for the Windows package (groff-base)")
endif()
set(manual_text ${CMAKE_CURRENT_BINARY_DIR}/chgtune.txt)
add_custom_command(OUTPUT ${manual_text}
  COMMAND ${CMAKE_COMMAND} -DGROFF=${GROFF_PROGRAM} -DSOURCE=${CMAKE_CURRENT_SOURCE_DIR}/man/chgtune.1
    -DOUTPUT=${manual_text} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/render_manual.cmake
  DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/man/chgtune.1 ${CMAKE_CURRENT_SOURCE_DIR}/cmake/render_manual.cmake
  COMMENT "Rendering the manual as text for Windows"
  VERBATIM)
add_custom_target(manual_text ALL DEPENDS ${manual_text})

# The README with CR LF line ends too, made again whenever its source changes.
set(readme_source ${CMAKE_CURRENT_SOURCE_DIR}/cmake/README-windows.txt)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${readme_source})
file(READ ${readme_source} readme)
string(REPLACE "\n" "\r\n" readme "${readme}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/README.txt "${readme}")

# The licence, and the notices of every library linked into the exe: one file per library in
# packaging/windows-notices/ (its notice as Debian's copyright file for the library gives it),
# joined in name order. A library linked in later adds its file there, and nothing else.
file(GLOB notice_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/windows-notices/*.txt)
list(SORT notice_sources)
set(notices "Notices of the libraries linked into chgtune.exe\n\n")
foreach(notice_source IN LISTS notice_sources)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${notice_source})
  file(READ ${notice_source} notice)
  string(APPEND notices "\n${notice}\n")
endforeach()
string(REPLACE "\n" "\r\n" notices "${notices}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/NOTICES.txt "${notices}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE)
file(READ ${CMAKE_CURRENT_SOURCE_DIR}/LICENSE licence)
string(REPLACE "\n" "\r\n" licence "${licence}")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt "${licence}")

install(TARGETS chgtune RUNTIME DESTINATION .)
install(FILES ${manual_text} ${CMAKE_CURRENT_BINARY_DIR}/README.txt
  ${CMAKE_CURRENT_BINARY_DIR}/LICENSE.txt ${CMAKE_CURRENT_BINARY_DIR}/NOTICES.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME chgtune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME chgtune-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
