# Runs one fuzz target for SECONDS on a fresh copy of the seed corpus SEEDS, inside WORK.
# Usage: cmake -DFUZZER=<exe> -DSEEDS=<dir> -DWORK=<dir> -DSECONDS=<n> -P run_briefly.cmake
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
file(COPY ${SEEDS}/ DESTINATION ${WORK}/corpus)
execute_process(COMMAND ${FUZZER} -max_total_time=${SECONDS} -timeout=10 -print_final_stats=1
                        -artifact_prefix=${WORK}/ ${WORK}/corpus
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}); the input that broke it is in ${WORK}/")
endif()
