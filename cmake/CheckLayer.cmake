# Run by pelmar_layer() (PelmarLayers.cmake) before TARGET compiles: fails when one of SOURCES
# includes a header of a Pelmar folder that FOLDER may not include (ALLOWED), and writes STAMP
# when none does.
cmake_minimum_required(VERSION 3.25)
set(violations "")
foreach(source IN LISTS SOURCES)
  file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\"")
  foreach(line IN LISTS includes)
    if(NOT line MATCHES "\"([A-Za-z0-9_]+)/(qt/)?[^\"]*\"")
      continue()
    endif()
    set(top ${CMAKE_MATCH_1})
    if(NOT top IN_LIST FOLDERS)
      continue()
    endif()
    set(included ${top})
    if(CMAKE_MATCH_2)
      set(included ${top}/qt)
    endif()
    if(NOT included STREQUAL FOLDER AND NOT included IN_LIST ALLOWED)
      string(STRIP "${line}" line)
      string(APPEND violations "\n  ${source}: ${line}")
    endif()
  endforeach()
endforeach()

if(violations)
  string(REPLACE ";" " " allowed "${ALLOWED}")
  message(FATAL_ERROR "${TARGET} (folder ${FOLDER}) includes from a folder above it or beside it;"
                      " it may include only ${FOLDER} and: ${allowed}${violations}\n"
                      "The layers are in cmake/PelmarLayers.cmake.")
endif()
file(TOUCH ${STAMP})
