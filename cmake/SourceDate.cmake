# The one date of a release: every time stamp it carries (the programs' PE headers, the ZIP's entries,
# the MSI's summary and cabinet, the bill of materials, a signature's signing time) is this one.
# SOURCE_DATE_EPOCH when the build (or else the configure step) was given it; otherwise the time of the
# source tree's last commit. Run at every build; the file changes only with the date, so that an
# unchanged date relinks nothing.
#   cmake -DSOURCE_DIR=... -DOUT=source-date-epoch.txt [-DCONFIGURED=epoch] -P SourceDate.cmake
cmake_minimum_required(VERSION 3.25)
if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(from "SOURCE_DATE_EPOCH")
elseif(CONFIGURED)
  set(epoch "${CONFIGURED}")
  set(from "SOURCE_DATE_EPOCH at configure time")
else()
  find_program(GIT git)
  set(status 1)
  if(GIT)
    execute_process(COMMAND ${GIT} -C ${SOURCE_DIR} log -1 --format=%ct RESULT_VARIABLE status
                    OUTPUT_VARIABLE epoch ERROR_VARIABLE error OUTPUT_STRIP_TRAILING_WHITESPACE)
  endif()
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "The release's date: ${SOURCE_DIR} is no git checkout (${error}); "
                        "set SOURCE_DATE_EPOCH to the release's time in seconds since 1970")
  endif()
  set(from "the last commit")
endif()
# 1980 to 2107: what a ZIP entry's DOS date can hold.
if(NOT epoch MATCHES "^[0-9]+$" OR epoch LESS 315532800 OR epoch GREATER 4354819199)
  message(FATAL_ERROR "The release's date from ${from} (\"${epoch}\") is no time in seconds since 1970 "
                      "between 1980 and 2107")
endif()
file(WRITE ${OUT}.new "${epoch}\n")
configure_file(${OUT}.new ${OUT} COPYONLY)
file(REMOVE ${OUT}.new)
