# The manual page rendered as plain text, for the Windows zip (there is no man there): ASCII,
# 78 columns, no bold or underline by overstriking, so that any editor or `type` shows it.
# Run at build time:
#   cmake -DGROFF=groff -DPAGE=doc/cellcentrify.1 -DOUTPUT=cellcentrify.txt -P cmake/ManualText.cmake
execute_process(COMMAND "${GROFF}" -man -Tascii -P-cbou "${PAGE}"
                OUTPUT_FILE "${OUTPUT}.new" ERROR_VARIABLE warnings RESULT_VARIABLE status)
if(NOT status EQUAL 0 OR NOT warnings STREQUAL "")
  file(REMOVE "${OUTPUT}.new")
  message(FATAL_ERROR "groff could not render ${PAGE} (status ${status}): ${warnings}")
endif()
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
