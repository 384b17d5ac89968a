# SPDX-License-Identifier: GPL-3.0-or-later
# The program's version as its window shows it: the ProductVersion string of resources/version.ini,
# the values the build turns into the version block. The command-line tools, the manual pages, the
# metainfo and the Debian package all take it from here, so a release changes one line.
set(FLIPBOOK_VERSION_VALUES ${PROJECT_SOURCE_DIR}/resources/version.ini)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${FLIPBOOK_VERSION_VALUES})

file(STRINGS ${FLIPBOOK_VERSION_VALUES} version_lines)
set(version_section "")
unset(FLIPBOOK_VERSION)
foreach(line IN LISTS version_lines)
  if(line MATCHES "^[ \t]*\\[(.*)\\]")
    set(version_section ${CMAKE_MATCH_1})
  elseif(version_section STREQUAL "Strings" AND line MATCHES "^[ \t]*ProductVersion[ \t]*=[ \t]*([^ \t]+)")
    set(FLIPBOOK_VERSION ${CMAKE_MATCH_1})
  endif()
endforeach()
# A Debian version must start with a digit and holds no blanks; the window shows any text, so check here.
if(NOT FLIPBOOK_VERSION MATCHES "^[0-9][0-9A-Za-z.+~]*$")
  message(FATAL_ERROR "resources/version.ini: [Strings] ProductVersion \"${FLIPBOOK_VERSION}\" is not a version")
endif()

# The release's date is the day its version was set: the last commit that changed the values file
# (FLIPBOOK_RELEASE_DATE as 2026-12-31, FLIPBOOK_RELEASE_TIME in RFC 2822 form for the Debian
# changelog). Outside a git checkout, a source archive, it is the build's time, or SOURCE_DATE_EPOCH's.
find_package(Git QUIET)
set(release_dates "")
if(GIT_FOUND)
  execute_process(
    COMMAND ${GIT_EXECUTABLE} log -1 --format=%cd|%cD --date=format:%Y-%m-%d -- resources/version.ini
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
    OUTPUT_VARIABLE release_dates
    OUTPUT_STRIP_TRAILING_WHITESPACE
    ERROR_QUIET)
endif()
if(release_dates MATCHES "^([0-9]+-[0-9][0-9]-[0-9][0-9])\\|(.+)$")
  set(FLIPBOOK_RELEASE_DATE ${CMAKE_MATCH_1})
  set(FLIPBOOK_RELEASE_TIME ${CMAKE_MATCH_2})
else()
  string(TIMESTAMP FLIPBOOK_RELEASE_DATE "%Y-%m-%d" UTC)
  string(TIMESTAMP FLIPBOOK_RELEASE_TIME "%a, %d %b %Y %H:%M:%S +0000" UTC)
endif()
