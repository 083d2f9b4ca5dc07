# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the package's Debian changelog from CHANGELOG.md, and stops the
# build when CHANGELOG.md's top entry is not the version being built.
#
#   cmake -DCHANGELOG=CHANGELOG.md -DVERSION=1.40 -DPACKAGE=velno-control
#         -DMAINTAINER="Name <address>" -DOUT=changelog -P debian_changelog.cmake
#
# CHANGELOG.md: each release a heading "## VERSION (YYYY-MM-DD)", then items,
# each a line "- text" continued on lines indented by two spaces. Text
# before the first heading is its introduction and is left out.
foreach(_var IN ITEMS CHANGELOG VERSION PACKAGE MAINTAINER OUT)
  if(NOT DEFINED ${_var} OR "${${_var}}" STREQUAL "")
    message(FATAL_ERROR "debian_changelog.cmake needs -D${_var}=...")
  endif()
endforeach()

# Debian wants the day of the week in each entry's date and lintian checks it.
# Sakamoto's method: 0 is Sunday.
# month and day as written, two digits each.
function(_velno_rfc2822_date year month day out)
  # Without the leading zero, which math() does not take.
  string(REGEX REPLACE "^0" "" _m "${month}")
  string(REGEX REPLACE "^0" "" _d "${day}")
  set(_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
  math(EXPR _index "${_m} - 1")
  list(GET _offsets ${_index} _offset)
  set(_y ${year})
  if(_m LESS 3)
    math(EXPR _y "${_y} - 1")
  endif()
  math(EXPR _weekday "(${_y} + ${_y} / 4 - ${_y} / 100 + ${_y} / 400 + ${_offset} + ${_d}) % 7")
  set(_days Sun Mon Tue Wed Thu Fri Sat)
  set(_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET _days ${_weekday} _day_name)
  list(GET _months ${_index} _month_name)
  set(${out} "${_day_name}, ${day} ${_month_name} ${year} 00:00:00 +0000" PARENT_SCOPE)
endfunction()

# One item as "  * text", wrapped to 78 columns with continuation lines
# indented by four spaces (lintian warns past 80).
function(_velno_item text out)
  string(REGEX MATCHALL "[^ ]+" _words "${text}")
  set(_result "")
  set(_line "  *")
  foreach(_word IN LISTS _words)
    string(LENGTH "${_line} ${_word}" _length)
    if(_length GREATER 78 AND NOT _line STREQUAL "  *" AND NOT _line STREQUAL "   ")
      string(APPEND _result "${_line}\n")
      set(_line "   ")
    endif()
    string(APPEND _line " ${_word}")
  endforeach()
  set(${out} "${_result}${_line}\n" PARENT_SCOPE)
endfunction()

# CMake lists split on ";" and keep "[...]" together: one control
# character each stands in for them until the end (one, so that wrapping
# counts the columns right).
string(ASCII 1 _semicolon)
string(ASCII 2 _open)
string(ASCII 3 _close)
file(READ "${CHANGELOG}" _text)
string(REPLACE ";" "${_semicolon}" _text "${_text}")
string(REPLACE "[" "${_open}" _text "${_text}")
string(REPLACE "]" "${_close}" _text "${_text}")
string(REGEX REPLACE "\r?\n" ";" _lines "${_text}")
set(_debian "")
set(_entries 0)
set(_item "")
set(_line_number 0)
set(_trailer "")
macro(_velno_flush_item)
  if(NOT _item STREQUAL "")
    _velno_item("${_item}" _wrapped)
    string(APPEND _debian "${_wrapped}")
    set(_item "")
  endif()
endmacro()
macro(_velno_close_entry)
  _velno_flush_item()
  if(NOT _trailer STREQUAL "")
    string(APPEND _debian "\n${_trailer}\n")
  endif()
endmacro()

foreach(_line IN LISTS _lines)
  math(EXPR _line_number "${_line_number} + 1")
  if(_line MATCHES "^## ([^ ]+) \\(([0-9][0-9][0-9][0-9])-([0-9][0-9])-([0-9][0-9])\\)$")
    set(_version "${CMAKE_MATCH_1}")
    set(_year "${CMAKE_MATCH_2}")
    set(_month "${CMAKE_MATCH_3}")
    set(_day "${CMAKE_MATCH_4}")
    if(_entries EQUAL 0 AND NOT _version STREQUAL VERSION)
      message(FATAL_ERROR
        "${CHANGELOG}:${_line_number}: the top entry is version ${_version}, but project() says ${VERSION}: "
        "add an entry for ${VERSION} at the top (or correct the version)")
    endif()
    _velno_close_entry()
    _velno_rfc2822_date(${_year} ${_month} ${_day} _date)
    string(APPEND _debian "${PACKAGE} (${_version}) unstable; urgency=medium\n\n")
    set(_trailer " -- ${MAINTAINER}  ${_date}")
    math(EXPR _entries "${_entries} + 1")
  elseif(_entries EQUAL 0)
    # The introduction.
  elseif(_line MATCHES "^- (.+)$")
    _velno_flush_item()
    set(_item "${CMAKE_MATCH_1}")
  elseif(_line MATCHES "^  +([^ ].*)$" AND NOT _item STREQUAL "")
    string(APPEND _item " ${CMAKE_MATCH_1}")
  elseif(NOT _line MATCHES "^ *$")
    string(REPLACE "${_semicolon}" ";" _line "${_line}")
    string(REPLACE "${_open}" "[" _line "${_line}")
    string(REPLACE "${_close}" "]" _line "${_line}")
    message(FATAL_ERROR "${CHANGELOG}:${_line_number}: not an item (\"- text\") nor its continuation: ${_line}")
  endif()
endforeach()
if(_entries EQUAL 0)
  message(FATAL_ERROR "${CHANGELOG} has no entry (\"## VERSION (YYYY-MM-DD)\")")
endif()
_velno_close_entry()

string(REPLACE "${_semicolon}" ";" _debian "${_debian}")
string(REPLACE "${_open}" "[" _debian "${_debian}")
string(REPLACE "${_close}" "]" _debian "${_debian}")
file(WRITE "${OUT}" "${_debian}")
