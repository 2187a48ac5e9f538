# What installs beside the programs: the files the program folder holds, the desktop
# entry, the icons, the AppStream metainfo and the package's documents. The choices
# that depend on the prefix are made at install time (cmake/install_files.cmake), as
# `cmake --install --prefix` may name another prefix than the build's.

set(TEVRAL_HOMEPAGE "https://github.com/tevral/tevral-qx" CACHE STRING
    "Project home page (package Homepage, AppStream url and screenshot)")
# The AppStream component id, the name software centres know the program by.
set(TEVRAL_APPSTREAM_ID io.github.tevral.tevral_qx)

set(packaging ${PROJECT_BINARY_DIR}/packaging)
configure_file(${PROJECT_SOURCE_DIR}/packaging/tevral-qx.metainfo.xml.in
               ${packaging}/${TEVRAL_APPSTREAM_ID}.metainfo.xml @ONLY)
# Debian's rule for the changelog: compressed at the highest level, no time stamp.
if(TEVRAL_GZIP)
  add_custom_command(
    OUTPUT ${packaging}/changelog.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/changelog ${packaging}/changelog
    COMMAND ${TEVRAL_GZIP} -9nf ${packaging}/changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog
    VERBATIM)
  add_custom_target(tevral_changelog ALL DEPENDS ${packaging}/changelog.gz)
  install(FILES ${packaging}/changelog.gz DESTINATION share/doc/tevral-qx)
endif()
install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION share/doc/tevral-qx)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/hub-example.conf DESTINATION share/doc/tevral-qx/examples)
install(DIRECTORY ${packaging}/icons/ DESTINATION share/icons/hicolor)
install(FILES ${packaging}/${TEVRAL_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)

install(CODE "
  set(TEVRAL_SOURCE_DIR \"${PROJECT_SOURCE_DIR}\")
  set(TEVRAL_RUNTIME_DIR \"${TEVRAL_RUNTIME_DIR}\")
  set(TEVRAL_INSTALL_DIR \"${TEVRAL_INSTALL_DIR}\")
")
install(SCRIPT ${PROJECT_SOURCE_DIR}/cmake/install_files.cmake)
