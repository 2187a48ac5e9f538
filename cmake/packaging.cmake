# `cpack -G DEB` in the build folder makes a Debian package of the install rules:
# prefix /usr (the system layout of cmake/install_files.cmake), program folder
# /usr/lib/tevral-qx, stripped programs, dependencies computed by dpkg-shlibdeps.

# The maintainer: -DTEVRAL_PACKAGE_MAINTAINER="Name <mail>", else the packager's
# DEBFULLNAME and DEBEMAIL (as Debian's dch takes them) at the first configure.
set(maintainer "TEVRAL-QX packagers <tevral@users.noreply.github.com>")
if(NOT "$ENV{DEBEMAIL}" STREQUAL "")
  if(NOT "$ENV{DEBFULLNAME}" STREQUAL "")
    set(maintainer "$ENV{DEBFULLNAME} <$ENV{DEBEMAIL}>")
  else()
    set(maintainer "$ENV{DEBEMAIL}")
  endif()
endif()
set(TEVRAL_PACKAGE_MAINTAINER "${maintainer}" CACHE STRING
    "Maintainer field of the Debian package")
# Build folders configured before kept the old default, an address Debian rejects.
if(TEVRAL_PACKAGE_MAINTAINER STREQUAL "TEVRAL-QX developers <tevral-qx@localhost>")
  set(TEVRAL_PACKAGE_MAINTAINER "${maintainer}" CACHE STRING
      "Maintainer field of the Debian package" FORCE)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tevral-qx)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Control panel for the VELDRA video matrix switcher")
# The install rules write the desktop entry with the final prefix, so the package is
# staged through DESTDIR rather than by moving the prefix.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# cpack packs what was built (build first); it does not build every target again.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${TEVRAL_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${TEVRAL_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "One window to see and change everything the VELDRA 4x4 video matrix switcher
does, over RS-232 or Ethernet: routing, display modes, picture, bezel, audio,
output resolution, power, lock, presets and the on-screen menu. Includes
veldra-ctl, which drives the switcher from scripts, veldra-hub (with a systemd
unit per device; also named veldra-mqtt), which shares it with the panel, an
MQTT broker for Home Assistant, Node-RED and Companion, and a web page for
phones and tablets, and veldra-sim, a simulated device for trying the panel
without hardware.")
# The bridge needs a broker, here or on another machine.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "mosquitto")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The window's fonts (Arial and PMingLiU are matched to these).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-liberation, fonts-arphic-uming")
# An administrator's edits of the default settings, the resolution list and the venue's
# names survive upgrades (the program folder links to the first two).
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/packaging/conffiles
     CONTENT "/etc/tevral-qx/TEVRAL_QX.ini\n/etc/tevral-qx/output_reso.txt\n/etc/tevral-qx/venue.json\n")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${PROJECT_BINARY_DIR}/packaging/conffiles)
include(CPack)
