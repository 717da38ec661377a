# cmake -DGROFF=... -DSOURCE=man/chgtune.1 -DOUTPUT=chgtune.txt -P render_manual.cmake
# The manual page as plain text for Windows: no overstrike or escape sequences, CR LF line ends so
# that every editor on Windows shows the lines.
execute_process(
  COMMAND ${GROFF} -man -Tascii -P-c -P-b -P-o -P-u ${SOURCE}
  OUTPUT_VARIABLE text
  RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR text STREQUAL "")
  message(FATAL_ERROR "groff could not render ${SOURCE} (${status})")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
