# One short libFuzzer run (cmake -P): the stored inputs first, then SECONDS
# of new ones. New inputs and any crash file go to WORK, never into the
# source tree; a crash, a hang past 10 s, a leak or a sanitizer report fails.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/new)
execute_process(COMMAND ${PROGRAM} -seed=1 -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2560
                        -max_len=4096 -artifact_prefix=${WORK}/ -print_final_stats=1 ${WORK}/new ${CORPUS}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "fuzzing ${PROGRAM} failed (${rc}); the input is kept in ${WORK}")
endif()
