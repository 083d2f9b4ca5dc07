# SPDX-License-Identifier: GPL-3.0-or-later
# Installation. Included by the top-level CMakeLists.txt once every target
# exists:
#
#   include(packaging/packaging.cmake)
#
# `cmake --install BUILD` then lays the programs out as a desktop program;
# the Debian package (debian/, scripts/build-package.sh) is made by the
# same rules.

include(GNUInstallDirs)

if(NOT PROJECT_VERSION)
  message(FATAL_ERROR "packaging.cmake needs project(... VERSION ...) to be set")
endif()

set(_velno_packaging_dir "${CMAKE_CURRENT_LIST_DIR}")
set(_velno_packaging_out "${PROJECT_BINARY_DIR}/packaging")
# The package's name and maintainer are debian/control's.
file(STRINGS "${PROJECT_SOURCE_DIR}/debian/control" _velno_package REGEX "^Source: " LIMIT_COUNT 1)
string(REGEX REPLACE "^Source: " "" _velno_package "${_velno_package}")
file(STRINGS "${PROJECT_SOURCE_DIR}/debian/control" _velno_maintainer REGEX "^Maintainer: " LIMIT_COUNT 1)
string(REGEX REPLACE "^Maintainer: " "" _velno_maintainer "${_velno_maintainer}")
set(_velno_docdir "${CMAKE_INSTALL_DATADIR}/doc/${_velno_package}")

# Debian policy: man pages and changelogs are installed compressed with
# gzip -9n, done at build time so the package and `cmake --install` agree.
# Where there is no gzip they are installed as they are.
find_program(VELNO_GZIP gzip)
set(_velno_compressed "")
# _velno_install_compressed(SOURCE DESTINATION NAME): SOURCE installed as NAME(.gz).
function(_velno_install_compressed source destination name)
  if(NOT VELNO_GZIP)
    install(FILES "${source}" DESTINATION "${destination}" RENAME "${name}")
    return()
  endif()
  set(_gz "${source}.gz")
  add_custom_command(OUTPUT "${_gz}"
    COMMAND "${CMAKE_COMMAND}" "-DGZIP=${VELNO_GZIP}" "-DIN=${source}" "-DOUT=${_gz}"
            -P "${_velno_packaging_dir}/cmake/gzip.cmake"
    DEPENDS "${source}" "${_velno_packaging_dir}/cmake/gzip.cmake"
    COMMENT "Compressing ${name}"
    VERBATIM)
  install(FILES "${_gz}" DESTINATION "${destination}" RENAME "${name}.gz")
  set(_velno_compressed ${_velno_compressed} "${_gz}" PARENT_SCOPE)
endfunction()

# Programs. Each is installed only when this build defines it, so a partial
# tree still installs what it has.
foreach(_velno_program IN ITEMS velno-control velno-cmd velno-projector-sim velno-bridge)
  if(TARGET ${_velno_program})
    install(TARGETS ${_velno_program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()

# Templates that carry the version.
set(VELNO_VERSION "${PROJECT_VERSION}")

set(_velno_metainfo io.github.velno.control.metainfo.xml)
configure_file("${_velno_packaging_dir}/${_velno_metainfo}.in" "${_velno_packaging_out}/${_velno_metainfo}"
  @ONLY)
install(FILES "${_velno_packaging_out}/${_velno_metainfo}" DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# A program's page goes with the program: only when this build defines it.
foreach(_velno_page IN ITEMS velno-control velno-cmd velno-projector-sim velno-bridge)
  if(NOT TARGET ${_velno_page})
    continue()
  endif()
  configure_file("${_velno_packaging_dir}/man/${_velno_page}.1.in" "${_velno_packaging_out}/man/${_velno_page}.1"
    @ONLY)
  _velno_install_compressed("${_velno_packaging_out}/man/${_velno_page}.1" ${CMAKE_INSTALL_MANDIR}/man1
    ${_velno_page}.1)
endforeach()

# The licence, machine-readable, where Debian looks for it.
install(FILES "${_velno_packaging_dir}/copyright" DESTINATION "${_velno_docdir}")

# The changelog in Debian's format, from CHANGELOG.md; the build stops when
# its top entry is not this version.
set(_velno_changelog "${_velno_packaging_out}/doc/changelog")
add_custom_command(OUTPUT "${_velno_changelog}"
  COMMAND "${CMAKE_COMMAND}" "-DCHANGELOG=${PROJECT_SOURCE_DIR}/CHANGELOG.md" "-DVERSION=${PROJECT_VERSION}"
          "-DPACKAGE=${_velno_package}" "-DMAINTAINER=${_velno_maintainer}" "-DOUT=${_velno_changelog}"
          -P "${_velno_packaging_dir}/cmake/debian_changelog.cmake"
  DEPENDS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" "${_velno_packaging_dir}/cmake/debian_changelog.cmake"
  COMMENT "Writing the Debian changelog from CHANGELOG.md"
  VERBATIM)
_velno_install_compressed("${_velno_changelog}" "${_velno_docdir}" changelog)
add_custom_target(velno_compressed_docs ALL DEPENDS "${_velno_changelog}" ${_velno_compressed})

# bash completion for every program: one script, installed under the
# panel's name, serves them all (the others' names are links to it), with
# velno-cmd's command names from the built program's --list. Tests read it
# from VELNO_COMPLETION_DIR, laid out as installed.
set(VELNO_COMPLETION_DIR "${_velno_packaging_out}/bash-completion/completions")
if(TARGET velno-cmd)
  set(_velno_completion "${VELNO_COMPLETION_DIR}/velno-control")
  add_custom_command(OUTPUT "${_velno_completion}"
    COMMAND "${CMAKE_COMMAND}" "-DVELNO_CMD=$<TARGET_FILE:velno-cmd>"
            "-DTEMPLATE=${_velno_packaging_dir}/completion/velno-control.bash.in" "-DOUT=${_velno_completion}"
            -P "${_velno_packaging_dir}/cmake/bash_completion.cmake"
    DEPENDS velno-cmd "${_velno_packaging_dir}/completion/velno-control.bash.in"
            "${_velno_packaging_dir}/cmake/bash_completion.cmake"
    COMMENT "Writing the bash completion with velno-cmd's command names"
    VERBATIM)
  add_custom_target(velno_bash_completion ALL DEPENDS "${_velno_completion}")
  set(_velno_completion_files "${_velno_completion}")
  file(MAKE_DIRECTORY "${VELNO_COMPLETION_DIR}")
  foreach(_velno_program IN ITEMS velno-cmd velno-projector-sim velno-bridge)
    if(TARGET ${_velno_program})
      file(CREATE_LINK velno-control "${VELNO_COMPLETION_DIR}/${_velno_program}" SYMBOLIC)
      list(APPEND _velno_completion_files "${VELNO_COMPLETION_DIR}/${_velno_program}")
    endif()
  endforeach()
  install(FILES ${_velno_completion_files} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions)
endif()

# The bridge as a system service, with a commented configuration file (a
# conffile of the package, as everything under /etc is). Outside the
# prefix: systemd and the administrator look for them only there.
if(TARGET velno-bridge)
  install(FILES "${_velno_packaging_dir}/service/velno-bridge.service" DESTINATION /lib/systemd/system)
  install(FILES "${_velno_packaging_dir}/service/bridge.conf" DESTINATION /etc/velno)
endif()

# Desktop entry and icons.
install(FILES "${_velno_packaging_dir}/velno-control.desktop" DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES "${_velno_packaging_dir}/icons/velno-control.svg"
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(_velno_size IN ITEMS 16 22 24 32 48 64 128 256)
  set(_velno_icon_dir "icons/hicolor/${_velno_size}x${_velno_size}/apps")
  install(FILES "${_velno_packaging_dir}/${_velno_icon_dir}/velno-control.png"
    DESTINATION ${CMAKE_INSTALL_DATADIR}/${_velno_icon_dir})
endforeach()
