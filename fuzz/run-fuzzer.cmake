# Fuzzes one target for SECONDS from a fresh copy of its seed corpus, so that
# nothing under the source tree is written:
#
#   cmake -DFUZZER=... -DSEEDS=json|yaml|msgpack|route-match|bytes \
#         -DSOURCE_DIR=... -DWORK_DIR=... -DSECONDS=30 -P run-fuzzer.cmake
#
# Seeds come from the conformance suites under tests/data/testsuites (JSON
# and YAML cases), from fuzz/seeds (MessagePack encodings of the suite, route
# templates with paths), and for the targets that read their input as a
# stream of choices ("bytes") from the JSON cases and the example scenarios.
# The run uses a fixed seed; a crash leaves its input in WORK_DIR.
cmake_minimum_required(VERSION 3.25)

foreach(variable FUZZER SEEDS SOURCE_DIR WORK_DIR SECONDS)
  if(NOT DEFINED ${variable})
    message(FATAL_ERROR "${variable} is not set")
  endif()
endforeach()

set(suites ${SOURCE_DIR}/tests/data/testsuites)
if(SEEDS STREQUAL "json")
  file(GLOB seeds ${suites}/json/*.json)
elseif(SEEDS STREQUAL "yaml")
  file(GLOB seeds ${suites}/yaml/*/in.yaml)
elseif(SEEDS STREQUAL "msgpack" OR SEEDS STREQUAL "route-match")
  file(GLOB seeds ${SOURCE_DIR}/fuzz/seeds/${SEEDS}/*)
elseif(SEEDS STREQUAL "bytes")
  file(GLOB seeds ${suites}/json/*.json ${SOURCE_DIR}/examples/scenarios/*.yaml)
else()
  message(FATAL_ERROR "unknown seed corpus ${SEEDS}")
endif()
if(NOT seeds)
  message(FATAL_ERROR "no seeds found for ${SEEDS}")
endif()

file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/corpus)
# Each seed keeps the name of its folder: the YAML cases are all "in.yaml".
foreach(seed IN LISTS seeds)
  get_filename_component(folder ${seed} DIRECTORY)
  get_filename_component(folder ${folder} NAME)
  get_filename_component(name ${seed} NAME)
  file(COPY_FILE ${seed} ${WORK_DIR}/corpus/${folder}-${name})
endforeach()

execute_process(COMMAND ${FUZZER} -seed=1 -max_total_time=${SECONDS} -timeout=25 -print_final_stats=1
                        -artifact_prefix=${WORK_DIR}/ ${WORK_DIR}/corpus
                WORKING_DIRECTORY ${WORK_DIR} RESULT_VARIABLE status
                OUTPUT_FILE ${WORK_DIR}/fuzz.log ERROR_FILE ${WORK_DIR}/fuzz.log)
file(STRINGS ${WORK_DIR}/fuzz.log summary REGEX "(DONE|ERROR|SUMMARY|runtime error)")
string(REPLACE ";" "\n" summary "${summary}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}), log in ${WORK_DIR}/fuzz.log:\n${summary}")
endif()
message(STATUS "${summary}")
