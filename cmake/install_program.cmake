# The installed layout: one self-contained program folder (the programs keep their
# settings, resolution list, pictures and ports/ map beside themselves) under the
# prefix, with links in <prefix>/bin for the programs an operator starts by name.
set(TEVRAL_INSTALL_DIR "lib/tevral-qx" CACHE STRING
    "Program folder, relative to the install prefix")

# Manual pages are made from the programs' own --help by help2man; without it (a
# parent project that embeds this one, say) the programs install without them.
find_program(TEVRAL_HELP2MAN help2man)
find_program(TEVRAL_GZIP gzip)

# Installs a program into the program folder. A stripping install (cpack, or
# `cmake --install --strip`) also drops the .comment and .note sections, as Debian's
# own tools do. BIN_LINK adds <prefix>/bin/<name>, a relative link to it (the programs
# resolve links to find their folder), and a manual page, share/man/man1/<name>.1.gz,
# made from `<name> --help` with packaging/man/<name>.h2m added when that file
# exists (help2man's include format: sections such as [FILES] or [SEE ALSO]). A
# further program of the package needs only this one call.
function(tevral_install_program target)
  cmake_parse_arguments(arg "BIN_LINK" "" "" ${ARGN})
  install(TARGETS ${target} RUNTIME DESTINATION ${TEVRAL_INSTALL_DIR})
  if(CMAKE_STRIP)
    install(CODE "
      if(CMAKE_INSTALL_DO_STRIP)
        execute_process(
          COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                  \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TEVRAL_INSTALL_DIR}/${target}\"
          RESULT_VARIABLE rc)
        if(NOT rc EQUAL 0)
          message(FATAL_ERROR \"strip ${target}: \${rc}\")
        endif()
      endif()
    ")
  endif()
  if(NOT arg_BIN_LINK)
    return()
  endif()
  # file(CREATE_LINK) does not apply DESTDIR by itself, unlike file(INSTALL).
  install(CODE "
    set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
    set(program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TEVRAL_INSTALL_DIR}/${target}\")
    file(MAKE_DIRECTORY \"\${bin}\")
    file(RELATIVE_PATH link \"\${bin}\" \"\${program}\")
    message(STATUS \"Installing: \${bin}/${target} -> \${link}\")
    file(CREATE_LINK \"\${link}\" \"\${bin}/${target}\" SYMBOLIC)
  ")
  if(NOT TEVRAL_HELP2MAN OR NOT TEVRAL_GZIP)
    message(STATUS "help2man or gzip not found: ${target} installs without a manual page")
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1.gz)
  set(include ${PROJECT_SOURCE_DIR}/packaging/man/${target}.h2m)
  set(depends ${target} ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake)
  if(EXISTS ${include})
    list(APPEND depends ${include})
  else()
    set(include "")
  endif()
  add_custom_command(
    OUTPUT ${page}
    COMMAND ${CMAKE_COMMAND} -DPROGRAM=$<TARGET_FILE:${target}> -DVERSION=${PROJECT_VERSION}
            -DINCLUDE=${include} -DHELP2MAN=${TEVRAL_HELP2MAN} -DGZIP=${TEVRAL_GZIP}
            -DOUT=${page} -P ${PROJECT_SOURCE_DIR}/cmake/man_page.cmake
    DEPENDS ${depends}
    COMMENT "Manual page ${target}(1) from ${target} --help"
    VERBATIM)
  add_custom_target(${target}_man_page ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION share/man/man1)
endfunction()
