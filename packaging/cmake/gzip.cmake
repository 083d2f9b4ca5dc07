# SPDX-License-Identifier: GPL-3.0-or-later
# Compresses one file as Debian policy asks of man pages and changelogs:
# gzip -9n, best compression and neither name nor time stamp in the header,
# so the same input always gives the same bytes.
#
#   cmake -DGZIP=/usr/bin/gzip -DIN=file -DOUT=file.gz -P gzip.cmake
foreach(_var IN ITEMS GZIP IN OUT)
  if(NOT ${_var})
    message(FATAL_ERROR "gzip.cmake needs -D${_var}=...")
  endif()
endforeach()
execute_process(COMMAND "${GZIP}" -9n -c "${IN}" OUTPUT_FILE "${OUT}.part" RESULT_VARIABLE _status)
if(NOT _status EQUAL 0)
  file(REMOVE "${OUT}.part")
  message(FATAL_ERROR "gzip -9n ${IN} failed: ${_status}")
endif()
# Renamed only when whole, so a failed run leaves no output that looks done.
file(RENAME "${OUT}.part" "${OUT}")
