# Pelmar's layers: which folders each library's sources may include from ("folder/File.h"),
# besides its own. This table is the one place they are stated; docs/architecture.md shows it.
# A folder may include only folders below it, so every list holds all of the lower ones it
# reaches; "X/qt" is a folder of its own, apart from the Qt-free "X".
#
#   floor  folder            may include
set(PELMAR_LAYER_platform "")
set(PELMAR_LAYER_engine platform)
set(PELMAR_LAYER_text platform engine)
set(PELMAR_LAYER_listing platform engine text)
set(PELMAR_LAYER_settings platform engine text)
set(PELMAR_LAYER_transfers platform engine text listing settings)
set(PELMAR_LAYER_tools/cli platform engine text listing settings transfers)
# Qt from here on.
set(PELMAR_LAYER_platform/qt platform)
set(PELMAR_LAYER_ui platform engine text)
set(PELMAR_LAYER_settings/qt platform engine text settings ui)
set(PELMAR_LAYER_transfers/qt platform engine text listing settings transfers ui)
set(PELMAR_LAYER_viewer platform engine text listing settings transfers ui)
set(PELMAR_LAYER_views/qt
    platform platform/qt engine text listing settings settings/qt transfers transfers/qt ui)
set(PELMAR_LAYER_mainwindow
    platform platform/qt engine text listing settings settings/qt transfers transfers/qt ui
    views/qt viewer)

# The folders include paths may start with: a "#include" of any other first part is not
# checked (there are none in src/ and tools/).
set(PELMAR_LAYER_FOLDERS platform engine text listing settings transfers ui views viewer
                         mainwindow)

# Declares that `target` is built from the folder `folder` (a key of the table above) and
# holds it to the table, in two ways:
#  - at configure time, every pelmar_ library it links must be of an allowed folder;
#  - at build time, before its sources compile, every .h and .cpp in its folder is read and
#    the build fails on an "#include" of a folder it may not include, naming file and include.
function(pelmar_layer target folder)
  if(NOT DEFINED PELMAR_LAYER_${folder})
    message(FATAL_ERROR "pelmar_layer: no layer \"${folder}\" in cmake/PelmarLayers.cmake")
  endif()
  set(allowed ${PELMAR_LAYER_${folder}})
  set_target_properties(${target} PROPERTIES PELMAR_LAYER ${folder})
  # The links are checked once every target exists.
  cmake_language(EVAL CODE "cmake_language(DEFER DIRECTORY [[${PROJECT_SOURCE_DIR}]] CALL \
                 _pelmar_layer_check_links [[${target}]])")

  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h
       ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/${target}.layer-checked)
  add_custom_command(
    OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} "-DTARGET=${target}" "-DFOLDER=${folder}" "-DALLOWED=${allowed}"
            "-DFOLDERS=${PELMAR_LAYER_FOLDERS}" "-DSOURCES=${sources}" "-DSTAMP=${stamp}"
            -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayer.cmake
    DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/cmake/CheckLayer.cmake
            ${PROJECT_SOURCE_DIR}/cmake/PelmarLayers.cmake
    COMMENT "Checking the includes of ${target} against its layer (${folder})"
    VERBATIM)
  add_custom_target(${target}_layer DEPENDS ${stamp})
  add_dependencies(${target} ${target}_layer)
endfunction()

function(_pelmar_layer_check_links target)
  get_target_property(folder ${target} PELMAR_LAYER)
  set(allowed ${folder} ${PELMAR_LAYER_${folder}})
  get_target_property(libs ${target} LINK_LIBRARIES)
  if(NOT libs)
    return()
  endif()
  foreach(lib IN LISTS libs)
    if(NOT lib MATCHES "^pelmar_" OR NOT TARGET ${lib})
      continue()
    endif()
    get_target_property(lib_folder ${lib} PELMAR_LAYER)
    if(NOT lib_folder)
      message(FATAL_ERROR "${target} links ${lib}, which has no pelmar_layer()")
    endif()
    if(NOT lib_folder IN_LIST allowed)
      string(REPLACE ";" " " may_use "${PELMAR_LAYER_${folder}}")
      message(FATAL_ERROR "${target} (${folder}) links ${lib} (${lib_folder}), a folder it may "
                          "not use; it may use: ${may_use}")
    endif()
  endforeach()
endfunction()
