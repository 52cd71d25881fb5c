# Runs the simulator's scripted mode on each case and compares its output byte for byte.
# A case is NAME.requests (the request lines), NAME.expected (standard output), and optionally
# NAME.args (one extra argument per line). In the arguments and the expected texts, @WORK@ stands
# for the case's scratch folder and @CASES@ for the cases' folder. Every file NAME.out/FILE is
# compared with the file FILE that the run left in its scratch folder. File references, whose
# identifiers are random, are compared by their prefix only. A case with NAME.native-only is not
# run under an emulator (its paths are the host system's).
# Usage: cmake -DSIM=tamsel-sim -DCASES=folder -DWORK=scratch [-DEMULATOR=runner] -P RunCases.cmake
cmake_policy(SET CMP0053 NEW)
file(GLOB cases "${CASES}/*.requests")
if(NOT cases)
  message(FATAL_ERROR "no cases in ${CASES}")
endif()
set(failed 0)
set(passed 0)
foreach(requests ${cases})
  get_filename_component(name "${requests}" NAME_WE)
  if(EMULATOR AND EXISTS "${CASES}/${name}.native-only")
    continue()
  endif()
  set(args "")
  if(EXISTS "${CASES}/${name}.args")
    file(STRINGS "${CASES}/${name}.args" args ENCODING UTF-8)
    string(REPLACE "@WORK@" "${WORK}/${name}" args "${args}")
    string(REPLACE "@CASES@" "${CASES}" args "${args}")
  endif()
  file(REMOVE_RECURSE "${WORK}/${name}")
  file(MAKE_DIRECTORY "${WORK}/${name}")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 XDG_DATA_HOME=${WORK}/${name}
            ${EMULATOR} ${SIM} requests ${requests} ${args}
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 120)
  file(READ "${CASES}/${name}.expected" expected)
  string(REGEX REPLACE "(cap|res|pick)-[0-9a-f]+" "\\1-REF" out "${out}")
  set(files_differ "")
  file(GLOB outputs RELATIVE "${CASES}/${name}.out" "${CASES}/${name}.out/*")
  foreach(output ${outputs})
    file(READ "${CASES}/${name}.out/${output}" wanted)
    string(REPLACE "@WORK@" "${WORK}/${name}" wanted "${wanted}")
    set(got "")
    if(EXISTS "${WORK}/${name}/${output}")
      file(READ "${WORK}/${name}/${output}" got)
    endif()
    if(NOT got STREQUAL wanted)
      string(APPEND files_differ "--- ${output} expected\n${wanted}--- ${output} actual\n${got}")
    endif()
  endforeach()
  if(NOT rc EQUAL 0 OR NOT out STREQUAL expected OR files_differ)
    file(WRITE "${WORK}/${name}.actual" "${out}")
    message("FAIL ${name}: exit ${rc}\n${err}\n--- expected\n${expected}--- actual (${WORK}/${name}.actual)\n${out}${files_differ}")
    math(EXPR failed "${failed} + 1")
  else()
    math(EXPR passed "${passed} + 1")
  endif()
endforeach()
message("${passed} passed, ${failed} failed")
if(failed)
  message(FATAL_ERROR "simulator output differs")
endif()
