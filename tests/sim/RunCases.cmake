# Runs the simulator's scripted mode on each case and compares its output byte for byte.
# A case is NAME.requests (the request lines), NAME.expected (standard output), and optionally
# NAME.args (one extra argument per line).
# Usage: cmake -DSIM=tamsel-sim -DCASES=folder -DWORK=scratch [-DEMULATOR=runner] -P RunCases.cmake
file(GLOB cases "${CASES}/*.requests")
if(NOT cases)
  message(FATAL_ERROR "no cases in ${CASES}")
endif()
set(failed 0)
set(passed 0)
foreach(requests ${cases})
  get_filename_component(name "${requests}" NAME_WE)
  set(args "")
  if(EXISTS "${CASES}/${name}.args")
    file(STRINGS "${CASES}/${name}.args" args ENCODING UTF-8)
  endif()
  file(REMOVE_RECURSE "${WORK}/${name}")
  file(MAKE_DIRECTORY "${WORK}/${name}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 XDG_DATA_HOME=${WORK}/${name}
            ${EMULATOR} ${SIM} requests ${requests} ${args}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 120)
  file(READ "${CASES}/${name}.expected" expected)
  if(NOT rc EQUAL 0 OR NOT out STREQUAL expected)
    file(WRITE "${WORK}/${name}.actual" "${out}")
    message("FAIL ${name}: exit ${rc}\n${err}\n--- expected\n${expected}--- actual (${WORK}/${name}.actual)\n${out}")
    math(EXPR failed "${failed} + 1")
  else()
    math(EXPR passed "${passed} + 1")
  endif()
endforeach()
message("${passed} passed, ${failed} failed")
if(failed)
  message(FATAL_ERROR "simulator output differs")
endif()
