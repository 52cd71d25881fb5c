# The UI language from the user's locale, when the host's language code names none of the three:
# the simulator runs with each locale in LC_ALL (Wine turns it into the user's default locale
# name) and its getState reply must carry the expected language parameter.
# Usage: cmake -DSIM=tamsel-sim -DWORK=folder [-DEMULATOR=runner] -P CheckLocale.cmake
file(MAKE_DIRECTORY "${WORK}")
set(requests "${WORK}/getstate.requests")
file(WRITE "${requests}" "{\"id\":\"s\",\"type\":\"getState\"}\n")
set(failed 0)
foreach(pair "pt_BR.UTF-8=pt" "pt_PT.UTF-8=pt" "es_MX.UTF-8=es" "de_DE.UTF-8=en" "C=en")
  string(REPLACE "=" ";" pair "${pair}")
  list(GET pair 0 locale)
  list(GET pair 1 lang)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env LC_ALL=${locale} ${EMULATOR} ${SIM} requests ${requests} --host-language INT
    OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc TIMEOUT 120)
  if(NOT rc EQUAL 0 OR NOT out MATCHES "\"lang\":\"${lang}\"")
    message("FAIL ${locale}: expected \"lang\":\"${lang}\" (exit ${rc})\n${out}${err}")
    math(EXPR failed "${failed} + 1")
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "${failed} locales chose the wrong language")
endif()
