# Makes a program's manual page from its --help (cmake -P, at build time):
#   -DPROGRAM=path -DVERSION=1.6 -DINCLUDE=extra.h2m|"" -DHELP2MAN=... -DGZIP=... -DOUT=x.1.gz
# The page's one-line description (its NAME, what whatis and apropos show) is the line
# after "Usage:" in the help, so a program's help is its page's only source.
get_filename_component(name "${PROGRAM}" NAME)
get_filename_component(folder "${PROGRAM}" DIRECTORY)
# Leak reports of a sanitizer build are not the page's business.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
set(ENV{QT_QPA_PLATFORM} "offscreen")
# Run by name from PATH, so the help names the program as an operator types it.
set(ENV{PATH} "${folder}:$ENV{PATH}")
execute_process(COMMAND "${name}" --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${name} --help ended with ${rc}")
endif()
string(REGEX MATCH "Usage:[^\n]*\n([^\n]+)" found "${help}")
string(REGEX REPLACE "[. ]+$" "" description "${CMAKE_MATCH_1}")
if(description STREQUAL "")
  message(FATAL_ERROR "${name} --help has no description line after its Usage: line")
endif()

set(args --no-info --section=1 --manual=TEVRAL-QX "--name=${description}"
         "--version-string=${VERSION}" --no-discard-stderr)
if(INCLUDE)
  list(APPEND args "--include=${INCLUDE}")
endif()
get_filename_component(out_dir "${OUT}" DIRECTORY)
string(REGEX REPLACE "\\.gz$" "" page "${OUT}")
file(MAKE_DIRECTORY "${out_dir}")
execute_process(COMMAND "${HELP2MAN}" ${args} --output=${page} "${name}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man ${name}: ${rc}")
endif()
# Best compression and no time stamp in the gzip header (Debian's rule for manuals).
execute_process(COMMAND "${GZIP}" -9nf "${page}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "gzip ${page}: ${rc}")
endif()
