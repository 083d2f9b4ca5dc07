# SPDX-License-Identifier: GPL-3.0-or-later
# Fills velno-cmd's command names into the bash completion, from the table
# the built program prints with --list (the first word of each line).
#
#   cmake -DVELNO_CMD=path/to/velno-cmd -DTEMPLATE=velno-control.bash.in -DOUT=velno-control -P bash_completion.cmake
foreach(_var IN ITEMS VELNO_CMD TEMPLATE OUT)
  if(NOT ${_var})
    message(FATAL_ERROR "bash_completion.cmake needs -D${_var}=...")
  endif()
endforeach()
execute_process(COMMAND "${VELNO_CMD}" --list OUTPUT_VARIABLE _listing RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
  message(FATAL_ERROR "${VELNO_CMD} --list failed: ${_status}")
endif()
string(REGEX MATCHALL "(^|\n)[^ \n]+" _names "${_listing}")
string(REPLACE "\n" "" _names "${_names}")
if(NOT _names)
  message(FATAL_ERROR "${VELNO_CMD} --list printed no command names")
endif()
# The names go between single quotes in a shell script.
foreach(_name IN LISTS _names)
  if(NOT _name MATCHES "^[-A-Za-z0-9_.]+$")
    message(FATAL_ERROR "velno-cmd --list printed '${_name}', not a command name bash can be given as it is")
  endif()
endforeach()
list(JOIN _names " " VELNO_CMD_COMMANDS)
configure_file("${TEMPLATE}" "${OUT}" @ONLY)
