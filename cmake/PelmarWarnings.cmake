# Warning set shared by every Pelmar target.
function(pelmar_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast -Wnon-virtual-dtor)
  if(PELMAR_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # Qt code: no narrowing in signal-slot connections, nothing deprecated up to the Qt we
  # build against, and in the program no text taken from a plain char string without saying
  # how it is encoded (tests may write their texts plainly).
  target_compile_definitions(${target} PRIVATE QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
                                               QT_DISABLE_DEPRECATED_UP_TO=0x060400)
  if(NOT target MATCHES "tests$|^pelmar_test_support$")
    target_compile_definitions(${target} PRIVATE QT_NO_CAST_FROM_ASCII)
  endif()
endfunction()

# Libraries that must stay usable without Qt (engine, parser, queue logic, settings files).
# Fails the configure step when one of them links a Qt target.
function(pelmar_qt_free target)
  get_target_property(libs ${target} LINK_LIBRARIES)
  if(libs)
    foreach(lib IN LISTS libs)
      if(lib MATCHES "^Qt[0-9]*::")
        message(FATAL_ERROR "${target} must not link Qt, but links ${lib}")
      endif()
      if(TARGET ${lib})
        get_target_property(lib_qt_free ${lib} PELMAR_QT_FREE)
        if(NOT lib_qt_free AND lib MATCHES "^pelmar_")
          message(FATAL_ERROR "${target} is Qt-free but links ${lib}, which is not")
        endif()
      endif()
    endforeach()
  endif()
  set_target_properties(${target} PROPERTIES PELMAR_QT_FREE TRUE)
endfunction()
