# Writes OUT, a header naming the build: `git describe` of the source tree when it is
# a git checkout, else the project version. The file is rewritten only when the text
# changes, so an unchanged build compiles nothing again.
# Only the program's main() includes it, so a new commit relinks the program alone.
#   cmake -DSOURCE_DIR=... -DVERSION=1.6 -DOUT=.../build_version.h -P build_version.cmake
set(build "${VERSION}")
find_program(GIT_EXECUTABLE git)
if(GIT_EXECUTABLE)
  execute_process(COMMAND "${GIT_EXECUTABLE}" -C "${SOURCE_DIR}" describe --tags --always --dirty
                  OUTPUT_VARIABLE described RESULT_VARIABLE rc
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  if(rc EQUAL 0 AND described)
    set(build "${described}")
  endif()
endif()
set(text "#pragma once\n#define TEVRAL_BUILD_VERSION \"${build}\"\n")
if(EXISTS "${OUT}")
  file(READ "${OUT}" old)
endif()
if(NOT "${old}" STREQUAL "${text}")
  file(WRITE "${OUT}" "${text}")
endif()
