# Run by CPack after it has installed the files into its staging folder, before it packs
# the .deb: writes Debian's changelog, doc/PACKAGE/changelog.gz, from the CHANGELOG.md
# staged beside it, so that the two never disagree.
#
# Each "## [VERSION] - YYYY-MM-DD" section becomes an entry of that version, dated that
# day (distribution unstable); its "### Heading" lines become "Heading:" lines, its items
# "* " items, and its text is wrapped to 78 columns. The "## [Unreleased]" section becomes
# the top entry only while the package's version has no section of its own yet (a version
# raised ahead of its release), as an UNRELEASED entry dated now (SOURCE_DATE_EPOCH when
# set); once that version is released, the entry of the version the package carries is the
# top one, and what came after it waits for the next version. The package's version has no
# Debian revision, which makes it a native package: its changelog is changelog.gz, not
# changelog.Debian.gz.
#
# Also runs alone, to look at the result:
#   cmake -DCHANGELOG=CHANGELOG.md -DOUTPUT=changelog -DVERSION=1.0.0 \
#         -DMAINTAINER="Name <address>" [-DPACKAGE=cellcentrify] -P cmake/DebianChangelog.cmake

set(_width 78)

# Zeller's congruence for the Gregorian calendar: "Tue, 08 Dec 2026 00:00:00 +0000".
function(_debian_date iso out)
  string(REGEX MATCH "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$" _ "${iso}")
  if(NOT CMAKE_MATCH_0)
    message(FATAL_ERROR "DebianChangelog: the date '${iso}' is not YYYY-MM-DD")
  endif()
  set(year ${CMAKE_MATCH_1})
  math(EXPR month "1${CMAKE_MATCH_2} - 100")
  math(EXPR day "1${CMAKE_MATCH_3} - 100")
  set(zeller_month ${month})
  set(zeller_year ${year})
  if(month LESS 3)
    math(EXPR zeller_month "${month} + 12")
    math(EXPR zeller_year "${year} - 1")
  endif()
  math(EXPR century "${zeller_year} / 100")
  math(EXPR year_of_century "${zeller_year} % 100")
  math(EXPR weekday "(${day} + 13 * (${zeller_month} + 1) / 5 + ${year_of_century} + ${year_of_century} / 4 + ${century} / 4 + 5 * ${century}) % 7")
  set(weekdays Sat Sun Mon Tue Wed Thu Fri)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET weekdays ${weekday} weekday_name)
  math(EXPR month_index "${month} - 1")
  list(GET months ${month_index} month_name)
  set(${out} "${weekday_name}, ${CMAKE_MATCH_3} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# Appends TEXT to the variable named by out, wrapped to the width, its first line after
# FIRST and the others after REST.
function(_debian_wrap out first rest text)
  string(REGEX REPLACE "[ ]+" ";" words "${text}")
  set(result "${${out}}")
  set(line "${first}")
  set(line_empty TRUE)
  foreach(word IN LISTS words)
    if(word STREQUAL "")
      continue()
    endif()
    string(LENGTH "${line} ${word}" length)
    if(NOT line_empty AND length GREATER _width)
      string(APPEND result "${line}\n")
      set(line "${rest}${word}")
    elseif(line_empty)
      set(line "${line}${word}")
    else()
      set(line "${line} ${word}")
    endif()
    set(line_empty FALSE)
  endforeach()
  if(NOT line_empty)
    string(APPEND result "${line}\n")
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

# Writes the Debian changelog of PACKAGE at VERSION, from the Markdown changelog SOURCE,
# to OUTPUT (uncompressed).
function(debian_changelog source output package version maintainer)
  file(READ "${source}" text)
  # Semicolons and brackets would split or bind CMake's lists: they travel as control
  # characters and are put back at the end.
  string(ASCII 1 semicolon)
  string(ASCII 2 open_bracket)
  string(ASCII 3 close_bracket)
  string(REPLACE ";" "${semicolon}" text "${text}")
  string(REPLACE "[" "${open_bracket}" text "${text}")
  string(REPLACE "]" "${close_bracket}" text "${text}")
  string(REPLACE "`" "" text "${text}")
  string(REPLACE "\n" ";" lines "${text}")
  list(APPEND lines "## end")

  set(released_versions "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^## ${open_bracket}([^${close_bracket}]+)${close_bracket} - ")
      list(APPEND released_versions "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(FIND released_versions "${version}" released)
  string(TIMESTAMP now "%a, %d %b %Y %H:%M:%S +0000" UTC)

  set(result "")
  set(entry "")        # the version of the section being read; empty outside an entry
  set(body "")         # its lines so far
  set(pending "")      # the paragraph or item being collected
  set(pending_first "")
  foreach(line IN LISTS lines)
    # A line that continues the paragraph or item being collected: an item's lines are
    # indented, a paragraph's are not.
    if(NOT pending STREQUAL "" AND line MATCHES "[^ ]" AND NOT line MATCHES "^(#|- )"
       AND (pending_first STREQUAL "  " OR line MATCHES "^ "))
      string(STRIP "${line}" line)
      string(APPEND pending " ${line}")
      continue()
    endif()
    if(NOT pending STREQUAL "")
      if(pending_first STREQUAL "  * ")
        _debian_wrap(body "  * " "    " "${pending}")
      else()
        _debian_wrap(body "  " "  " "${pending}")
      endif()
      set(pending "")
    endif()
    if(line MATCHES "^## ")
      if(NOT entry STREQUAL "")
        string(APPEND result "${package} (${entry}) ${distribution}${semicolon} urgency=medium\n\n"
                             "${body}\n -- ${maintainer}  ${date}\n\n")
      endif()
      set(entry "")
      set(body "")
      if(line MATCHES "^## ${open_bracket}Unreleased${close_bracket}")
        if(released EQUAL -1)
          set(entry "${version}")
          set(distribution UNRELEASED)
          set(date "${now}")
        endif()
      elseif(line MATCHES "^## ${open_bracket}([^${close_bracket}]+)${close_bracket} - ([0-9-]+)")
        set(entry "${CMAKE_MATCH_1}")
        set(distribution unstable)
        _debian_date("${CMAKE_MATCH_2}" date)
      endif()
    elseif(entry STREQUAL "")
      continue()
    elseif(line MATCHES "^### (.*)")
      if(NOT body STREQUAL "")
        string(APPEND body "\n")
      endif()
      string(APPEND body "  ${CMAKE_MATCH_1}:\n")
    elseif(line MATCHES "^- (.*)")
      set(pending "${CMAKE_MATCH_1}")
      set(pending_first "  * ")
    elseif(line MATCHES "[^ ]")
      string(STRIP "${line}" pending)
      set(pending_first "  ")
    endif()
  endforeach()

  string(REPLACE "${semicolon}" ";" result "${result}")
  string(REPLACE "${open_bracket}" "[" result "${result}")
  string(REPLACE "${close_bracket}" "]" result "${result}")
  string(REGEX REPLACE "\n\n$" "\n" result "${result}")
  file(WRITE "${output}" "${result}")
endfunction()

if(CPACK_TEMPORARY_INSTALL_DIRECTORY)
  file(GLOB_RECURSE _staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/CHANGELOG.md")
  list(FILTER _staged INCLUDE REGEX "/doc/${CPACK_PACKAGE_NAME}/CHANGELOG.md$")
  list(LENGTH _staged _count)
  if(NOT _count EQUAL 1)
    message(FATAL_ERROR "DebianChangelog: no single CHANGELOG.md staged for ${CPACK_PACKAGE_NAME}: ${_staged}")
  endif()
  get_filename_component(_doc_dir "${_staged}" DIRECTORY)
  if(CPACK_DEBIAN_PACKAGE_VERSION)
    set(_version "${CPACK_DEBIAN_PACKAGE_VERSION}")
  else()
    set(_version "${CPACK_PACKAGE_VERSION}")
  endif()
  debian_changelog("${_staged}" "${_doc_dir}/changelog" "${CPACK_PACKAGE_NAME}" "${_version}"
                   "${CPACK_DEBIAN_PACKAGE_MAINTAINER}")
  # gzip -n stores no name or time stamp, so the same changelog always gives the same bytes.
  execute_process(COMMAND gzip -9nf "${_doc_dir}/changelog" COMMAND_ERROR_IS_FATAL ANY)
elseif(CHANGELOG AND OUTPUT AND VERSION AND MAINTAINER)
  if(NOT PACKAGE)
    set(PACKAGE cellcentrify)
  endif()
  debian_changelog("${CHANGELOG}" "${OUTPUT}" "${PACKAGE}" "${VERSION}" "${MAINTAINER}")
else()
  message(FATAL_ERROR "DebianChangelog: run by CPack, or with -DCHANGELOG, -DOUTPUT, -DVERSION and -DMAINTAINER")
endif()
