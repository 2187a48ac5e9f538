# Hardening of optimised builds (the release build and the Debian package made from
# it), with the flags Debian's own packages get: dpkg-buildflags with every hardening
# feature (fortify, stack protector, format checks, relro and bind-now) plus PIE. The
# optimisation and debug levels stay the build type's. Not with the sanitizers, whose
# runtime does its own checks, nor in a Debug build (fortify needs optimisation).
option(TEVRAL_HARDENING "Build optimised programs with dpkg-buildflags' hardening flags" ON)
find_program(TEVRAL_DPKG_BUILDFLAGS dpkg-buildflags)

if(TEVRAL_HARDENING AND NOT TEVRAL_SANITIZE)
  include(CheckPIESupported)
  check_pie_supported(LANGUAGES CXX)
  set(CMAKE_POSITION_INDEPENDENT_CODE ON)
  if(TEVRAL_DPKG_BUILDFLAGS)
    set(hardening_compile)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
      execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${TEVRAL_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
      separate_arguments(flags UNIX_COMMAND "${flags}")
      # The build type sets -O and -g; the file prefix map is for reproducible
      # archive builds and would hide the sources from a debugger here.
      list(FILTER flags EXCLUDE REGEX "^-(O.*|g.*|ffile-prefix-map=.*|fdebug-prefix-map=.*)$")
      if(kind STREQUAL LDFLAGS)
        set(hardening_link ${flags})
      else()
        list(APPEND hardening_compile ${flags})
      endif()
    endforeach()
    set(optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
    foreach(flag ${hardening_compile})
      add_compile_options("$<${optimised}:${flag}>")
    endforeach()
    foreach(flag ${hardening_link})
      add_link_options("$<${optimised}:${flag}>")
    endforeach()
    message(STATUS "Hardening (optimised builds): ${hardening_compile} ${hardening_link}")
  else()
    message(STATUS "dpkg-buildflags not found: no hardening flags beyond the compiler's own")
  endif()
endif()
