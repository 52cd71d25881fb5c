# The check of the service host settings: which pairs configure and which are refused.
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/ServiceHost.cmake)
set(failures 0)
foreach(case
    "app.ovra.example|ovra.example|ok"
    "ovra.example|ovra.example|ok"
    "a.b.ovra.example|ovra.example|ok"
    "app.ovra.example|example|refused"
    "app.notovra.example|ovra.example|refused"
    "app.ovra.example|app.ovra.example.org|refused"
    "ovra.example|app.ovra.example|refused"
    "App.Ovra.example|ovra.example|refused"
    "app.ovra.example|ovra..example|refused"
    "app.ovra.example|ovraXexample|refused"
    "appxovra.example|ovra.example|refused"
    "app.ovraxexample|ovra.example|refused"
    "app.ovra-example|ovra-example|refused"
    "app.ovra.example/|ovra.example|refused")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 host)
  list(GET parts 1 domain)
  list(GET parts 2 expected)
  tovr_service_host_problem("${host}" "${domain}" problem)
  if(problem STREQUAL "")
    set(got ok)
  else()
    set(got refused)
  endif()
  if(NOT got STREQUAL expected)
    message(SEND_ERROR "${host} with ${domain}: ${got}, expected ${expected} (${problem})")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} case(s) wrong")
endif()
