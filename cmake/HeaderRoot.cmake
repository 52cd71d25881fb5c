# Header-only libraries that Debian installs under /usr/include reach a cross build through an
# include root of their own: a folder of symbolic links in the build folder. The cross compiler
# never sees /usr/include itself, whose glibc headers would be taken for the target's.
#
# tovr_header_root(<var> <probe> <entry>...) finds <probe> (such as rapidjson/document.h) under
# the build machine's /usr/include, links each <entry> (a folder or a header, relative to
# /usr/include) into ${CMAKE_BINARY_DIR}/host-headers, and sets <var> to that folder; <var> is
# left false when the probe is missing.
function(tovr_header_root var probe)
  find_path(TOVR_HOST_HEADERS_${var} ${probe} PATHS /usr/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  if(NOT TOVR_HOST_HEADERS_${var})
    set(${var} ${var}-NOTFOUND PARENT_SCOPE)
    return()
  endif()
  set(root ${CMAKE_BINARY_DIR}/host-headers)
  foreach(entry ${ARGN})
    get_filename_component(parent ${root}/${entry} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${TOVR_HOST_HEADERS_${var}}/${entry} ${root}/${entry} SYMBOLIC)
  endforeach()
  set(${var} ${root} PARENT_SCOPE)
endfunction()
