# How every target of the project is built: warnings, the platform's own sources, batched
# compilation and the compiler cache.

function(tovr_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor -Wold-style-cast
                                           -Wcast-align -Woverloaded-virtual)
  # GCC 12 takes libstdc++'s own string concatenation for overlapping copies once enough of it is
  # inlined into one function (GCC bug 105329, mended in GCC 13); batched sources inline more.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
  # In a batch every source but the batch file counts as a header for GCC, which then warns of a
  # test class deriving from a fixture in the anonymous namespace of its own source.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
  endif()
  if(TOVR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# tovr_platform_sources(<var> <file or folder>...) sets <var> to the sources of this platform: a
# folder stands for its *.cpp and those of its posix/ or win32/ subfolder; then every file of the
# other platform is dropped, by its folder (posix/, win32/) or by its name (...Posix.cpp,
# ...Win32.cpp). The one rule for every list of sources in the build.
function(tovr_platform_sources var)
  if(WIN32)
    set(own win32)
    set(other "(/posix/|Posix\\.cpp$)")
  else()
    set(own posix)
    set(other "(/win32/|Win32\\.cpp$)")
  endif()
  set(files)
  foreach(entry IN LISTS ARGN)
    get_filename_component(path ${entry} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    if(IS_DIRECTORY ${path})
      file(GLOB found CONFIGURE_DEPENDS ${path}/*.cpp ${path}/${own}/*.cpp)
      list(APPEND files ${found})
    else()
      list(APPEND files ${path})
    endif()
  endforeach()
  list(FILTER files EXCLUDE REGEX "${other}")
  set(${var} ${files} PARENT_SCOPE)
endfunction()

# Batched compilation: a target's sources are compiled TOVR_UNITY_BATCH at a time, each batch one
# generated file that includes them, so the headers they share are parsed once a batch. A batch
# names its sources by their path below the source folder, found through an include folder, so
# that a clone in another folder writes the same text and hits the same compiler-cache entries.
# Left out: generated sources, sources with compile definitions or options of their own (they
# need a command line of their own), and sources marked SKIP_UNITY_BUILD_INCLUSION. The sources
# of a batch give their file-local names distinct spellings; a clash is a compile error, never a
# silent merge.
set(TOVR_UNITY_BATCH 8 CACHE STRING "Sources per batch of the batched build; 1 compiles each source alone")

function(tovr_unity target)
  if(TOVR_UNITY_BATCH LESS 2)
    return()
  endif()
  get_target_property(sources ${target} SOURCES)
  get_target_property(source_dir ${target} SOURCE_DIR)
  set(kept)
  set(batched)
  foreach(source IN LISTS sources)
    get_filename_component(path ${source} ABSOLUTE BASE_DIR ${source_dir})
    file(RELATIVE_PATH relative ${CMAKE_SOURCE_DIR} ${path})
    get_source_file_property(definitions ${path} COMPILE_DEFINITIONS)
    get_source_file_property(options ${path} COMPILE_OPTIONS)
    get_source_file_property(alone ${path} SKIP_UNITY_BUILD_INCLUSION)
    if(NOT path MATCHES "\\.cpp$" OR relative MATCHES "^\\.\\./" OR path MATCHES "^${CMAKE_BINARY_DIR}/"
       OR definitions OR options OR alone)
      list(APPEND kept ${source})
    else()
      list(APPEND batched ${relative})
    endif()
  endforeach()
  list(LENGTH batched count)
  if(count LESS 2)
    return()
  endif()
  list(SORT batched)
  # Batches of nearly equal size, so that no batch is left with one or two sources.
  math(EXPR batches "(${count} + ${TOVR_UNITY_BATCH} - 1) / ${TOVR_UNITY_BATCH}")
  set(index 0)
  set(number 0)
  set(text "")
  foreach(relative IN LISTS batched)
    string(APPEND text "#include \"${relative}\"\n")
    math(EXPR index "${index} + 1")
    math(EXPR due "(${number} + 1) * ${count} / ${batches}")
    if(index EQUAL due)
      set(unit ${CMAKE_CURRENT_BINARY_DIR}/batches/${target}-${number}.cpp)
      file(CONFIGURE OUTPUT ${unit} CONTENT "// ${target}: sources compiled as one unit.\n${text}")
      list(APPEND kept ${unit})
      set(text "")
      math(EXPR number "${number} + 1")
    endif()
  endforeach()
  set_property(TARGET ${target} PROPERTY SOURCES ${kept})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
endfunction()

# Every target of a folder compiled in batches, once the folder's file has declared them all.
function(tovr_unity_folder)
  get_property(targets DIRECTORY PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|OBJECT_LIBRARY|MODULE_LIBRARY|SHARED_LIBRARY)$")
      tovr_unity(${target})
    endif()
  endforeach()
endfunction()

# The compiler cache, when installed: paths below the source folder are taken relative to the
# build folder, so a clone in another folder shares the cache with this one.
find_program(TOVR_CCACHE ccache)
if(TOVR_CCACHE AND NOT CMAKE_CXX_COMPILER_LAUNCHER AND NOT DEFINED ENV{TOVR_NO_CCACHE})
  set(CMAKE_CXX_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env CCACHE_BASEDIR=${CMAKE_SOURCE_DIR} CCACHE_NOHASHDIR=true
                                  ${TOVR_CCACHE})
endif()
