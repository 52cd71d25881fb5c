# The seam for the vendor's development kit: TOVR_HOST_KIT_DIR (a cache path, empty by default)
# names the kit for the binding of src/host to the real host, whose sources go in src/host/kit/.
# tovr_host_kit_problem(<kit dir> <compiler id> <pointer size> <binding folder> <out>) sets <out>
# to the one sentence that stops configuring, or to "" when the binding can be built (or no kit
# is named). Only the vendor's compiler builds the binding: MSVC, 64-bit.
function(tovr_host_kit_problem kit compiler pointerSize binding out)
  set(problem "")
  if(NOT kit STREQUAL "")
    if(NOT compiler STREQUAL "MSVC" OR NOT pointerSize EQUAL 8)
      set(problem "TOVR_HOST_KIT_DIR is set, but the binding to the host's development kit builds only with the vendor's compiler, 64-bit MSVC on Windows; configure with it, or leave TOVR_HOST_KIT_DIR empty to build against the simulated host.")
    elseif(NOT IS_DIRECTORY "${kit}")
      set(problem "TOVR_HOST_KIT_DIR names ${kit}, which is not a folder; point it at the development kit's folder.")
    elseif(NOT IS_DIRECTORY "${binding}")
      set(problem "TOVR_HOST_KIT_DIR is set, but the binding's sources are missing: write the HostApi binding in ${binding} (see \"Shipping it\" in the README).")
    endif()
  endif()
  set(${out} "${problem}" PARENT_SCOPE)
endfunction()
