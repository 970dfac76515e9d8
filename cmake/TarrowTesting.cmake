# tarrow_add_test(<name> [LIBS <targets...>] [LABELS <labels...>] [RESOURCE_LOCK <locks...>]
#                 [ENV <VAR=value...>] [TIMEOUT <seconds>] [EXTRA_SOURCES <files...>]
#                 [QT_MAIN | WIDGETS_MAIN])
# Builds the GoogleTest program <name> from <name>.cpp in the calling folder and registers it
# with CTest as one test of that name, so that every test program is named after its file.
# QT_MAIN gives it the shared main with a QCoreApplication, WIDGETS_MAIN one with a
# QApplication; otherwise GoogleTest's own main. Every test gets a timeout, so that nothing
# can hang the suite.
function(tarrow_add_test name)
  cmake_parse_arguments(T "QT_MAIN;WIDGETS_MAIN" "TIMEOUT" "LIBS;LABELS;RESOURCE_LOCK;ENV;EXTRA_SOURCES" ${ARGN})
  if(T_UNPARSED_ARGUMENTS)
    message(FATAL_ERROR "tarrow_add_test(${name}): unknown arguments ${T_UNPARSED_ARGUMENTS}")
  endif()
  add_executable(${name} ${name}.cpp ${T_EXTRA_SOURCES})
  if(T_WIDGETS_MAIN)
    set(_main tarrow_widgets_test_main)
  elseif(T_QT_MAIN)
    set(_main tarrow_qt_test_main)
  else()
    set(_main GTest::gtest_main)
  endif()
  target_link_libraries(${name} PRIVATE ${T_LIBS} ${_main} GTest::gtest GTest::gmock)
  add_test(NAME ${name} COMMAND ${name})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_RESOURCE_LOCK)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
  # Qt widgets under test draw off screen; nothing needs a display.
  set(_env "QT_QPA_PLATFORM=offscreen" ${T_ENV})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${_env}")
endfunction()
