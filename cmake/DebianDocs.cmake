# SPDX-License-Identifier: MIT
# The two files Debian wants in every package's doc folder, made from the
# project's own: changelog.gz from NEWS, copyright (machine-readable format)
# from LICENSE. Generated, so that a release note or a licence change needs
# no second edit. Also the manual pages, compressed as Debian installs them.

# Day of the week of a date, as a changelog trailer names it
# (Sakamoto's method; 0 is Sunday).
function(dirweigh_weekday year month day out)
  set(offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR index "${month} - 1")
  list(GET offsets ${index} offset)
  if(month LESS 3)
    math(EXPR year "${year} - 1")
  endif()
  math(EXPR weekday "(${year} + ${year} / 4 - ${year} / 100 + ${year} / 400 + ${offset} + ${day}) % 7")
  set(names Sun Mon Tue Wed Thu Fri Sat)
  list(GET names ${weekday} name)
  set(${out} ${name} PARENT_SCOPE)
endfunction()

# One release's trailer line: " -- maintainer  Tue, 08 Dec 2026 00:00:00 +0000".
function(dirweigh_changelog_trailer date out)
  if(NOT date MATCHES "^([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])$")
    message(FATAL_ERROR "NEWS: a release date is not YYYY-MM-DD: ${date}")
  endif()
  set(year ${CMAKE_MATCH_1})
  set(day ${CMAKE_MATCH_3})
  math(EXPR month "1${CMAKE_MATCH_2} - 100")  # no octal surprises from "08"
  math(EXPR day_number "1${day} - 100")
  dirweigh_weekday(${year} ${month} ${day_number} weekday)
  set(months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  math(EXPR index "${month} - 1")
  list(GET months ${index} month_name)
  set(${out} " -- ${CPACK_PACKAGE_CONTACT}  ${weekday}, ${day} ${month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# NEWS holds releases newest first, each a line "DirWeigh VERSION (YYYY-MM-DD)"
# followed by its notes as "  * " items. The newest must be the version being
# built: a package whose changelog names another version misleads. Sets
# newest_release_date for the caller.
function(dirweigh_write_changelog news output)
  file(STRINGS ${news} lines)
  set(text "")
  set(trailer "")
  set(newest "")
  foreach(line IN LISTS lines)
    if(line MATCHES "^DirWeigh ([^ ]+) \\(([^)]*)\\)$")
      set(version ${CMAKE_MATCH_1})
      if(NOT newest)
        set(newest ${version})
        set(newest_release_date ${CMAKE_MATCH_2} PARENT_SCOPE)
      endif()
      if(trailer)
        string(APPEND text "${trailer}\n\n")
      endif()
      dirweigh_changelog_trailer(${CMAKE_MATCH_2} trailer)
      string(APPEND text "${CPACK_PACKAGE_NAME} (${version}) unstable; urgency=medium\n")
    else()
      string(APPEND text "${line}\n")
    endif()
  endforeach()
  if(NOT newest STREQUAL PROJECT_VERSION)
    message(FATAL_ERROR "NEWS: the newest release is '${newest}', the project's version ${PROJECT_VERSION}")
  endif()
  string(REGEX REPLACE "\n+$" "\n" text "${text}")
  file(WRITE ${output} "${text}\n${trailer}\n")
endfunction()

# LICENSE is the MIT licence: a title, the copyright line, then the text.
# Debian's copyright format calls that licence Expat.
function(dirweigh_write_copyright license output)
  file(READ ${license} text)
  if(NOT text MATCHES "Copyright \\(c\\) ([^\n]+)\n+(.*)$")
    message(FATAL_ERROR "LICENSE: no copyright line")
  endif()
  set(holder ${CMAKE_MATCH_1})
  string(STRIP "${CMAKE_MATCH_2}" terms)
  # Continuation lines start with a blank; an empty line is written " .".
  string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
  string(REPLACE "\n" "\n " terms "${terms}")
  file(WRITE ${output}
    "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
    "Upstream-Name: DirWeigh\n"
    "Upstream-Contact: ${CPACK_PACKAGE_CONTACT}\n"
    "\n"
    "Files: *\n"
    "Copyright: ${holder}\n"
    "License: Expat\n"
    "\n"
    "License: Expat\n"
    " ${terms}\n")
endfunction()

set(debian_docs ${CMAKE_BINARY_DIR}/debian-docs)
set(metainfo ${PROJECT_SOURCE_DIR}/app/io.github.dirweigh.DirWeigh.metainfo.xml)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/NEWS ${PROJECT_SOURCE_DIR}/LICENSE ${metainfo})
dirweigh_write_changelog(${PROJECT_SOURCE_DIR}/NEWS ${debian_docs}/changelog)
dirweigh_write_copyright(${PROJECT_SOURCE_DIR}/LICENSE ${debian_docs}/copyright)

# Software centres show the metadata's releases: the newest must be this one.
file(READ ${metainfo} metainfo_text)
set(release "<release version=\"${PROJECT_VERSION}\" date=\"${newest_release_date}\">")
string(FIND "${metainfo_text}" "${release}" found)
if(found EQUAL -1)
  message(FATAL_ERROR "${metainfo} has no ${release}, the newest release in NEWS")
endif()

# Debian installs manual pages and changelogs compressed; -n leaves the name
# and time out of the gzip header, so the same sources give the same bytes.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(compressed "")
foreach(source IN ITEMS ${debian_docs}/changelog
                        ${PROJECT_SOURCE_DIR}/man/dirweigh.1
                        ${PROJECT_SOURCE_DIR}/man/dirweigh-cli.1)
  get_filename_component(name ${source} NAME)
  set(copy ${debian_docs}/gz/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${source} ${copy}
    COMMAND ${GZIP_PROGRAM} -9nf ${copy}
    DEPENDS ${source}
    VERBATIM)
  list(APPEND compressed ${copy}.gz)
endforeach()
add_custom_target(debian_docs ALL DEPENDS ${compressed})

install(FILES ${debian_docs}/gz/changelog.gz ${debian_docs}/copyright DESTINATION ${DIRWEIGH_DOCDIR})
install(FILES ${debian_docs}/gz/dirweigh.1.gz ${debian_docs}/gz/dirweigh-cli.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
