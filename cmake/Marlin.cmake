# Helpers shared by every area's CMakeLists.txt.

# The environment every test and benchmark runs in: the build's odbcinst.ini,
# which names the program folder's driver (nothing is written to /etc), Qt
# offscreen, and registry values
# that point at nothing unless a test sets its own. The address sanitizer
# leaves __tls_get_addr alone: gcc 12's runtime misreads the dynamic TLS
# blocks it records under glibc 2.36 (a block "at 0x866"), and its leak
# checker then dies at the exit of a passed test ("Tracer caught signal 11")
# or not, as the binary's layout falls. Without that record it finds no
# pointer in those blocks, so it can only say more, never less.
set(MARLIN_TEST_ENV
  "ODBCSYSINI=${MARLIN_ODBC_DIR}"
  "ODBCINSTINI=odbcinst.ini"
  "QT_QPA_PLATFORM=offscreen"
  "MARLIN_PROGRAM_DIR=${MARLIN_PROGRAM_DIR}"
  "MARLIN_SOURCE_DIR=${PROJECT_SOURCE_DIR}"
  "ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:intercept_tls_get_addr=0"
  "LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0"
  "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")

# marlin_add_test(<area> SOURCES ... [LIBS ...] [LABELS ...] [MAIN plain|gui|app|own])
# One GoogleTest executable per area, named tests_<area>, every test labelled
# with the area so that `ctest -L <area>` runs one area. Its main comes from
# tests/support (plain: the library suites; gui: an offscreen application)
# or tests/app_support (app: the program's tests, with the dialog seam);
# each sets the environment above itself when it is missing, so that a
# binary run by hand behaves as under ctest. "own" leaves main to the area.
function(marlin_add_test area)
  cmake_parse_arguments(T "" "MAIN" "SOURCES;LIBS;LABELS" ${ARGN})
  set(target tests_${area})
  add_executable(${target} ${T_SOURCES})
  # The library under test keeps its tree's optimisation (-O3 in Release,
  # -O1 under the sanitizers); the test code itself (GoogleTest macros,
  # fixtures, fake drivers), most of what both trees compile, is built at
  # -O1 and -O0 respectively, which halves its compile time.
  if(MARLIN_SANITIZE)
    target_compile_options(${target} PRIVATE -O0)
  else()
    target_compile_options(${target} PRIVATE $<$<CONFIG:Release>:-O1>)
  endif()
  if(NOT T_MAIN OR T_MAIN STREQUAL "plain")
    set(main test_main)
  elseif(T_MAIN STREQUAL "gui")
    set(main test_main_gui)
  elseif(T_MAIN STREQUAL "app")
    set(main app_test_main)
  elseif(T_MAIN STREQUAL "own")
    set(main "")
  else()
    message(FATAL_ERROR "marlin_add_test(${area}): unknown MAIN ${T_MAIN}")
  endif()
  target_link_libraries(${target} PRIVATE ${main} ${T_LIBS} GTest::gtest GTest::gmock Threads::Threads)
  add_dependencies(${target} marlin_stage)
  # gtest_discover_tests cannot hand a list-valued property to the tests it
  # generates (only the first item survives), so the environment travels as
  # the test launcher, used for discovery and runs alike, and the labels as
  # one label joined by ":" (`ctest -L` matches labels as regular expressions).
  set_property(TARGET ${target} PROPERTY CROSSCOMPILING_EMULATOR ${CMAKE_COMMAND} -E env ${MARLIN_TEST_ENV})
  set(labels ${area} ${T_LABELS})
  list(JOIN labels ":" label)
  gtest_discover_tests(${target}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS "${label}" TIMEOUT 600)
endfunction()

# marlin_add_bench(<name> SOURCES ... [LIBS ...])
# A benchmark program, registered with ctest under the label `bench`, which
# the test command leaves out. The Release tree builds every benchmark so that
# none can rot; the sanitizer tree, whose programs weigh twenty times as much,
# builds them only on request (target `marlin_benches`), which keeps its build
# within the disk of a small machine.
if(NOT TARGET marlin_benches)
  add_custom_target(marlin_benches)
endif()
function(marlin_add_bench name)
  cmake_parse_arguments(B "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${B_SOURCES})
  add_dependencies(marlin_benches ${name})
  if(MARLIN_SANITIZE)
    set_target_properties(${name} PROPERTIES EXCLUDE_FROM_ALL TRUE)
  endif()
  target_link_libraries(${name} PRIVATE ${B_LIBS} Threads::Threads)
  add_dependencies(${name} marlin_stage)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES LABELS bench ENVIRONMENT "${MARLIN_TEST_ENV}")
endfunction()

# The stage target: everything that must be in the program folder before the
# program or a test runs depends on it; areas add their own steps to it.
if(NOT TARGET marlin_stage)
  add_custom_target(marlin_stage)
endif()
