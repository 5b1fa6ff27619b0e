# SPDX-License-Identifier: GPL-2.0-or-later
# Helpers shared by the source, test and benchmark folders.

# Warnings for our own targets (never for third-party code).
function(zz_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow)
  if(ZUZIDERO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# zz_library(<name> SOURCES ... [DEPS ...])
# One static library per source folder, with the alias zuzidero::<name>.
function(zz_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(zz_${name} STATIC ${ARG_SOURCES})
  add_library(zuzidero::${name} ALIAS zz_${name})
  target_include_directories(zz_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(zz_${name} PUBLIC ${ARG_DEPS})
  zz_warnings(zz_${name})
endfunction()

# zz_test(<name> SOURCES ... [DEPS ...] [LABELS ...])
# A GoogleTest executable whose cases are registered with CTest one by one.
# FIXTURES: CTest fixtures the tests need (dvd_discs: the test DVDs, made once per build tree
# into ${ZUZIDERO_TEST_DISCS}, which the tests find in the environment variable of that name).
function(zz_test name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;DEPS;LABELS;FIXTURES" ${ARGN})
  # The ThreadSanitizer build runs only the tests that exercise threads.
  # (Tests of playback timing exercise threads too.)
  if(ZUZIDERO_THREAD_TESTS_ONLY AND NOT "threads" IN_LIST ARG_LABELS AND NOT "timing" IN_LIST ARG_LABELS)
    return()
  endif()
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS} GTest::gtest GTest::gtest_main GTest::gmock)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  zz_warnings(${name})
  # Loading a disc may ask the first-play helper.
  if(TARGET zuzidero-first-play)
    add_dependencies(${name} zuzidero-first-play)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  # Empty values would shift the property list, so only given properties are passed.
  set(properties TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "ZUZIDERO_TEST_DISCS=${ZUZIDERO_TEST_DISCS}")
  if(ARG_LABELS)
    list(APPEND properties LABELS "${ARG_LABELS}")
  endif()
  if(ARG_FIXTURES)
    list(APPEND properties FIXTURES_REQUIRED "${ARG_FIXTURES}")
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${properties})
endfunction()
