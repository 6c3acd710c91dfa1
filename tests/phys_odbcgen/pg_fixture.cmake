# Read by ctest after the test discovery of tests_phys_odbcgen: every case of
# a suite named Pg... needs the throw-away PostgreSQL server.
foreach(test IN LISTS tests_phys_odbcgen_TESTS)
  if(test MATCHES "^Pg")
    set_tests_properties("${test}" PROPERTIES FIXTURES_REQUIRED marlin_pgserver)
  endif()
endforeach()
