# Run by CPack after it has installed the files into its staging folder, before it packs
# them: compresses the manual pages. gzip -n stores no name or time stamp, so the same page
# always gives the same bytes.
file(GLOB_RECURSE _pages "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*.[1-9]")
foreach(_page IN LISTS _pages)
  if(_page MATCHES "/man/man[1-9]/[^/]+$")
    execute_process(COMMAND gzip -9nf "${_page}" COMMAND_ERROR_IS_FATAL ANY)
  endif()
endforeach()
