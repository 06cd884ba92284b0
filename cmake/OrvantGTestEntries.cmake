# Registers a GoogleTest executable with CTest one entry per test case, or one entry per
# test suite (fixture class), without running the executable at build time.
#
#   orvant_gtest_entries(<target> PREFIX <name> [TIMEOUT <s>] [ENVIRONMENT <var=value>...]
#                        [COSTS <entry>=<seconds>...])
#
# The entries are found when ctest starts (like DISCOVERY_MODE PRE_TEST of
# gtest_discover_tests): the executable's --gtest_list_tests output is read once after
# each build of it and kept next to it. Entry names are "<prefix>.<Suite>.<Case>", or
# with ORVANT_TEST_ENTRIES=suite "<prefix>.<Suite>" running --gtest_filter=<Suite>.*.
# COSTS are measured durations of suites, given to the suite's entry or to each of its
# cases, that make ctest -j start the longest first even without the timings of an
# earlier run (a fresh build folder).
#
# Cases by default: ctest names the failing case and runs one alone, and a suite of
# stalls no longer holds one slot for its whole length. Each case pays for a sanitizer
# process start (and many for their certificates): on 2 cores the whole ctest -j2 takes
# about 48 s against 36 s with suite entries, which stay one option away.
# Under Wine every entry pays for a Windows process start: the Windows build takes suites.
if(WIN32)
  set(ORVANT_TEST_ENTRIES suite CACHE STRING "CTest entries of the GoogleTest executables: case or suite")
else()
  set(ORVANT_TEST_ENTRIES case CACHE STRING "CTest entries of the GoogleTest executables: case or suite")
endif()
set_property(CACHE ORVANT_TEST_ENTRIES PROPERTY STRINGS case suite)

set(_ORVANT_GTEST_ENTRIES_SCRIPT ${CMAKE_CURRENT_LIST_DIR}/OrvantGTestEntriesAdd.cmake)

function(orvant_gtest_entries target)
  cmake_parse_arguments(ARG "" "PREFIX;TIMEOUT" "ENVIRONMENT;COSTS" ${ARGN})
  if(NOT ARG_PREFIX)
    set(ARG_PREFIX ${target})
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 600)
  endif()
  set(include_file "${CMAKE_CURRENT_BINARY_DIR}/${target}_entries.cmake")
  # Lists are written with "|" so that they survive the generated file unchanged.
  string(REPLACE ";" "|" environment "${ARG_ENVIRONMENT}")
  string(REPLACE ";" "|" costs "${ARG_COSTS}")
  file(GENERATE OUTPUT "${include_file}" CONTENT
"set(_orvant_mode \"${ORVANT_TEST_ENTRIES}\")
set(_orvant_emulator \"${CMAKE_CROSSCOMPILING_EMULATOR}\")
set(_orvant_cmake \"${CMAKE_COMMAND}\")
include(\"${_ORVANT_GTEST_ENTRIES_SCRIPT}\")
orvant_gtest_add_entries(\"$<TARGET_FILE:${target}>\" \"${ARG_PREFIX}\" \"${ARG_TIMEOUT}\"
                         \"${environment}\" \"${costs}\" \"${CMAKE_CURRENT_BINARY_DIR}/${target}_tests.txt\")
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${include_file}")
endfunction()
