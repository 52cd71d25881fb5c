# The check of the development kit's seam: which settings configure and which stop with a sentence.
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/HostKit.cmake)
set(here ${CMAKE_CURRENT_LIST_DIR})
set(failures 0)
foreach(case
    "|GNU|8|${here}|ok|"
    "${here}|GNU|8|${here}|refused|vendor's compiler"
    "${here}|Clang|8|${here}|refused|vendor's compiler"
    "${here}|MSVC|4|${here}|refused|64-bit MSVC"
    "${here}/no-such-kit|MSVC|8|${here}|refused|not a folder"
    "${here}|MSVC|8|${here}/no-such-binding|refused|binding's sources are missing"
    "${here}|MSVC|8|${here}|ok|")
  string(REPLACE "|" ";" parts "${case}")
  list(GET parts 0 kit)
  list(GET parts 1 compiler)
  list(GET parts 2 pointerSize)
  list(GET parts 3 binding)
  list(GET parts 4 expected)
  list(GET parts 5 words)
  tovr_host_kit_problem("${kit}" "${compiler}" "${pointerSize}" "${binding}" problem)
  if(problem STREQUAL "")
    set(got ok)
  else()
    set(got refused)
  endif()
  if(NOT got STREQUAL expected)
    message(SEND_ERROR "kit '${kit}' with ${compiler} (${pointerSize}): ${got}, expected ${expected} (${problem})")
    math(EXPR failures "${failures} + 1")
  elseif(NOT words STREQUAL "" AND NOT problem MATCHES "${words}")
    message(SEND_ERROR "kit '${kit}' with ${compiler}: the sentence does not say '${words}': ${problem}")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(failures GREATER 0)
  message(FATAL_ERROR "${failures} case(s) of the kit's seam failed")
endif()
