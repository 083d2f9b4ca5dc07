# SPDX-License-Identifier: GPL-3.0-or-later
# Layers the compiler enforces. Each library's public include directory is
# one of its own in the build tree, holding a link to each header the
# library lists and nothing else: a target sees its own headers and those of
# the libraries it links, so a file that includes a header of a higher
# layer, or of a library its target does not link, does not compile. The
# include lines stay as they are ("protocol/commands.h", "port_listing.h").
#
# A quoted include is looked for in the including file's own folder first,
# where every header of that folder is found by its plain name: libraries
# under protocol/, session/, window/, bridge/ and sim/ therefore name their
# headers by folder, which scripts/check-layers.sh checks.
#
#   velno_public_headers(TARGET [FOLDER name])
#
# FOLDER: the folder the headers are included by ("protocol" for
# "protocol/commands.h"); without it, by their plain names.
function(velno_public_headers target)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "FOLDER" "")
  set(include_dir "${PROJECT_BINARY_DIR}/include/${target}")
  set(link_dir "${include_dir}")
  if(arg_FOLDER)
    set(link_dir "${include_dir}/${arg_FOLDER}")
  endif()
  file(MAKE_DIRECTORY "${link_dir}")

  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(links)
  foreach(source IN LISTS sources)
    if(NOT source MATCHES "\\.h$")
      continue()
    endif()
    get_filename_component(header "${source}" ABSOLUTE BASE_DIR "${source_dir}")
    get_filename_component(name "${source}" NAME)
    set(link "${link_dir}/${name}")
    list(APPEND links "${link}")
    if(IS_SYMLINK "${link}")
      file(READ_SYMLINK "${link}" points_to)
      if(points_to STREQUAL header)
        continue()
      endif()
    endif()
    file(REMOVE "${link}")
    file(CREATE_LINK "${header}" "${link}" RESULT failed SYMBOLIC)
    if(failed)
      # No symbolic links here (Windows without the right to make them): a
      # copy, made again whenever the header changes.
      configure_file("${header}" "${link}" COPYONLY)
    endif()
  endforeach()

  # A header the library no longer lists is no longer seen.
  file(GLOB_RECURSE present LIST_DIRECTORIES false "${include_dir}/*")
  foreach(entry IN LISTS present)
    if(NOT entry IN_LIST links)
      file(REMOVE "${entry}")
    endif()
  endforeach()

  target_include_directories(${target} PUBLIC "$<BUILD_INTERFACE:${include_dir}>")
endfunction()
