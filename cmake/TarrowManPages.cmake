# Section 1 pages for every program, made by help2man from the program's own --help, so that
# a page cannot drift from the program, and an include file per program (docs/man/NAME.h2m)
# with what --help leaves out: the INI keys, the files, the environment, the exit status.
# The windows take no arguments; their usage text is written (docs/man/NAME.help) and goes
# through the same tool and the same kind of include file.
# Pages land in <build>/man and are installed to share/man/man1. A sanitizer build makes
# none (its programs are not what a site installs).
find_program(TARROW_HELP2MAN help2man)
if(TARROW_SANITIZE OR TARROW_FUZZ)
  return()
endif()
if(NOT TARROW_HELP2MAN)
  message(STATUS "help2man not found: no man pages (install the Debian package help2man)")
  return()
endif()

set(_man_src ${CMAKE_SOURCE_DIR}/docs/man)
set(_man_out ${CMAKE_BINARY_DIR}/man)
set(_man_pages)

# tarrow_man_page(NAME [TARGET target | WRITTEN]): NAME.1 from the target's --help, or from
# docs/man/NAME.help printed by docs/man/written_help.sh.
function(tarrow_man_page name)
  cmake_parse_arguments(M "WRITTEN" "TARGET" "" ${ARGN})
  set(page ${_man_out}/${name}.1)
  set(include ${_man_src}/${name}.h2m)
  if(M_WRITTEN)
    set(program ${_man_src}/written_help.sh)
    set(env ${CMAKE_COMMAND} -E env TARROW_WRITTEN_HELP=${_man_src}/${name}.help)
    set(depends ${program} ${_man_src}/${name}.help)
  else()
    set(program $<TARGET_FILE:${M_TARGET}>)
    set(env "")
    set(depends ${M_TARGET})
  endif()
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${_man_out}
    COMMAND ${env} ${TARROW_HELP2MAN} --no-info --section=1 --no-discard-stderr
            "--version-string=${name} ${PROJECT_VERSION}" "--manual=Tarrow" "--source=Tarrow ${PROJECT_VERSION}"
            --include=${include} --output=${page} ${program}
    DEPENDS ${depends} ${include}
    COMMENT "Man page ${name}(1)"
    VERBATIM)
  set(_man_pages ${_man_pages} ${page} PARENT_SCOPE)
endfunction()

foreach(program TarrowCli TarrowCtrl TarrowMgrCli tarrow-compare tarrow_delay_relay)
  tarrow_man_page(${program} TARGET ${program})
endforeach()
tarrow_man_page(Tarrow WRITTEN)
tarrow_man_page(TarrowMgr WRITTEN)

add_custom_target(man_pages ALL DEPENDS ${_man_pages})
install(FILES ${_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
