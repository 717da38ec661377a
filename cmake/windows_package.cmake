# Installation and the ZIP of the Windows build (`scripts/package --windows`):
# chgtune-<version>-win64.zip with one folder holding chgtune.exe, the manual as text (chgtune.txt)
# and README.txt for Windows users. The exe is linked statically, so nothing else is needed.
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

install(TARGETS chgtune RUNTIME DESTINATION .)
install(FILES ${manual_text} ${CMAKE_CURRENT_BINARY_DIR}/README.txt DESTINATION .)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME chgtune)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME chgtune-${PROJECT_VERSION}-win64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
