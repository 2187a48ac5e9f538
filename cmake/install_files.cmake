# Install-time part of cmake/install_layout.cmake (run by `cmake --install` and cpack,
# after the programs): the files the program folder holds and the desktop entry.
#
# Installed with the prefix /usr (the Debian package), the layout is the system's: what
# an administrator may edit lives in /etc/tevral-qx (the default settings, the
# resolution list and the ports/ map every user shares), the pictures in
# /usr/share/tevral-qx, and the program folder holds links to them, so the programs
# find everything beside themselves as in any other install. Every other prefix (a
# user's ~/.local, /usr/local, /opt/...) gets one self-contained folder.
#
# file(INSTALL) applies DESTDIR itself; the other file() calls need it spelt out.
set(stage "$ENV{DESTDIR}")
set(prefix "${CMAKE_INSTALL_PREFIX}")
set(folder "${prefix}/${TEVRAL_INSTALL_DIR}")
if(prefix STREQUAL "/usr")
  set(system_layout ON)
  set(conf /etc/tevral-qx)
  set(pictures ${prefix}/share/tevral-qx/bmp)
else()
  set(system_layout OFF)
  set(conf "${folder}")
  set(pictures "${folder}/bmp")
endif()

# Default settings (Ethernet, 127.0.0.1: nothing opens a serial port by itself); a
# reinstall keeps the operator's (or administrator's) own.
if(NOT EXISTS "${stage}${conf}/TEVRAL_QX.ini")
  file(INSTALL "${TEVRAL_SOURCE_DIR}/runtime/TEVRAL_QX.ini" DESTINATION "${conf}")
endif()
file(INSTALL "${TEVRAL_RUNTIME_DIR}/output_reso.txt" DESTINATION "${conf}")
file(INSTALL "${TEVRAL_RUNTIME_DIR}/bmp/" DESTINATION "${pictures}" FILES_MATCHING PATTERN "*.bmp")
# Starts empty: COMn maps (ports/COMn -> /dev/ttyUSB0) for every user of this install.
message(STATUS "Installing: ${stage}${conf}/ports")
file(MAKE_DIRECTORY "${stage}${conf}/ports")

if(system_layout)
  # The venue's names for every user (no scenes: those are each operator's, or a service's
  # --venue file); a reinstall keeps the administrator's.
  if(NOT EXISTS "${stage}${conf}/venue.json")
    file(INSTALL "${TEVRAL_SOURCE_DIR}/runtime/venue.json" DESTINATION "${conf}")
  endif()
  # Across top-level folders a link is absolute (Debian policy 10.5), within /usr relative.
  file(RELATIVE_PATH to_pictures "${folder}" "${pictures}")
  foreach(pair "TEVRAL_QX.ini=${conf}/TEVRAL_QX.ini" "output_reso.txt=${conf}/output_reso.txt"
               "ports=${conf}/ports" "bmp=${to_pictures}")
    string(REGEX MATCH "^([^=]+)=(.*)$" _ "${pair}")
    set(link "${stage}${folder}/${CMAKE_MATCH_1}")
    message(STATUS "Installing: ${link} -> ${CMAKE_MATCH_2}")
    file(REMOVE "${link}")
    file(CREATE_LINK "${CMAKE_MATCH_2}" "${link}" SYMBOLIC)
  endforeach()
  # The reasons for the tags Debian's checker still gives (see the file).
  file(INSTALL "${TEVRAL_SOURCE_DIR}/packaging/lintian-overrides"
       DESTINATION "${prefix}/share/lintian/overrides" RENAME tevral-qx)
endif()

# The desktop entry. Its icon is the theme's name when the prefix's share/ folder is one
# the desktop searches (XDG_DATA_DIRS, ~/.local/share), else the PNG's path.
set(data_dirs "$ENV{XDG_DATA_DIRS}")
if(data_dirs STREQUAL "")
  set(data_dirs "/usr/local/share:/usr/share")
endif()
string(REPLACE ":" ";" data_dirs "${data_dirs}")
if(DEFINED ENV{XDG_DATA_HOME} AND NOT "$ENV{XDG_DATA_HOME}" STREQUAL "")
  list(APPEND data_dirs "$ENV{XDG_DATA_HOME}")
elseif(DEFINED ENV{HOME})
  list(APPEND data_dirs "$ENV{HOME}/.local/share")
endif()
list(TRANSFORM data_dirs REPLACE "/+$" "")
# (list(FIND): the install script runs without the project's policies, IN_LIST needs one)
list(FIND data_dirs "${prefix}/share" found)
if(found GREATER -1)
  set(icon tevral-qx)
else()
  set(icon "${prefix}/share/icons/hicolor/256x256/apps/tevral-qx.png")
endif()
file(READ "${TEVRAL_SOURCE_DIR}/packaging/tevral-qx.desktop.in" entry)
string(REPLACE "@EXEC@" "${prefix}/bin/tevral-qx" entry "${entry}")
string(REPLACE "@ICON@" "${icon}" entry "${entry}")
message(STATUS "Installing: ${stage}${prefix}/share/applications/tevral-qx.desktop")
file(WRITE "${stage}${prefix}/share/applications/tevral-qx.desktop" "${entry}")

# The bridge's service (systemctl enable --now veldra-mqtt) with the program's final
# path. The package puts it where Debian 12's systemd and its package checker look.
if(system_layout)
  set(units /lib/systemd/system)
else()
  set(units "${prefix}/lib/systemd/system")
endif()
file(READ "${TEVRAL_SOURCE_DIR}/packaging/veldra-mqtt.service.in" unit)
string(REPLACE "@EXEC@" "${prefix}/bin/veldra-mqtt" unit "${unit}")
message(STATUS "Installing: ${stage}${units}/veldra-mqtt.service")
file(WRITE "${stage}${units}/veldra-mqtt.service" "${unit}")
