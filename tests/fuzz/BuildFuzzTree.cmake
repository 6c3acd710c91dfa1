# Configures and builds the clang tree of the libFuzzer programs (cmake -P,
# from the fuzz tests of an ordinary tree). MARLIN_JOBS sets the parallel
# jobs, two by default: the suite's other tests run beside it.
foreach(var SOURCE TREE CC CXX)
  if(NOT ${var})
    message(FATAL_ERROR "BuildFuzzTree: ${var} not given (clang missing? scripts/setup.sh installs it)")
  endif()
endforeach()
set(jobs 2)
if(DEFINED ENV{MARLIN_JOBS})
  set(jobs $ENV{MARLIN_JOBS})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${TREE} -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMARLIN_FUZZ=ON
                        -DCMAKE_C_COMPILER=${CC} -DCMAKE_CXX_COMPILER=${CXX}
                OUTPUT_QUIET RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the fuzz tree ${TREE} failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${TREE} --target fuzz_all -j ${jobs} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the fuzz programs in ${TREE} failed")
endif()
