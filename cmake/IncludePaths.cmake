# Every header of src/ is named from src/ ("gui/loadedform.h"), so the include paths a library's
# link line gives it decide which headers it may use (tavo_own_headers). A relative name
# ("../gui/loadedform.h") is found next to the including file instead, whatever the library
# links: tavo_check_include_paths() stops the configuration at the first one.
#
# Also a script, for a tree of sources given on the command line:
#   cmake -DTAVO_SOURCES=<dir> -P cmake/IncludePaths.cmake

function(tavo_check_include_paths root)
  file(GLOB_RECURSE sources ${root}/*.h ${root}/*.cpp)
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\./")
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" header "${line}")
      file(RELATIVE_PATH shown ${root} ${source})
      message(FATAL_ERROR "${shown} includes \"${header}\" by a relative path: name it from src/ "
                          "(as \"folder/file.h\"), so the libraries its library links decide whether "
                          "it may")
    endforeach()
  endforeach()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  if(NOT TAVO_SOURCES)
    message(FATAL_ERROR "usage: cmake -DTAVO_SOURCES=<dir> -P ${CMAKE_CURRENT_LIST_FILE}")
  endif()
  tavo_check_include_paths(${TAVO_SOURCES})
endif()
