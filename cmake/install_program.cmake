# The installed layout: one self-contained program folder (the programs keep their
# settings, resolution list, pictures and ports/ map beside themselves) under the
# prefix, with links in <prefix>/bin for the programs an operator starts by name.
set(TEVRAL_INSTALL_DIR "lib/tevral-qx" CACHE STRING
    "Program folder, relative to the install prefix")

# Installs a program into the program folder; BIN_LINK adds <prefix>/bin/<name>, a
# relative link to it (the programs resolve links to find their folder). A further
# program of the package needs only this one call.
function(tevral_install_program target)
  cmake_parse_arguments(arg "BIN_LINK" "" "" ${ARGN})
  install(TARGETS ${target} RUNTIME DESTINATION ${TEVRAL_INSTALL_DIR})
  if(arg_BIN_LINK)
    # file(CREATE_LINK) does not apply DESTDIR by itself, unlike file(INSTALL).
    install(CODE "
      set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
      set(program \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${TEVRAL_INSTALL_DIR}/${target}\")
      file(MAKE_DIRECTORY \"\${bin}\")
      file(RELATIVE_PATH link \"\${bin}\" \"\${program}\")
      message(STATUS \"Installing: \${bin}/${target} -> \${link}\")
      file(CREATE_LINK \"\${link}\" \"\${bin}/${target}\" SYMBOLIC)
    ")
  endif()
endfunction()
