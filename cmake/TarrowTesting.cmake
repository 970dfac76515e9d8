# tarrow_add_test(NAME <name> SOURCES <files...> [LIBS <targets...>]
#                 [LABELS <labels...>] [RESOURCE_LOCK <locks...>] [ENV <VAR=value...>]
#                 [TIMEOUT <seconds>])
# Builds one GoogleTest executable and registers it with CTest as one test.
# Every test gets a timeout, so that nothing can hang the suite.
function(tarrow_add_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS;RESOURCE_LOCK;ENV" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_RESOURCE_LOCK)
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK "${T_RESOURCE_LOCK}")
  endif()
  # Qt widgets under test draw off screen; nothing needs a display.
  set(_env "QT_QPA_PLATFORM=offscreen" ${T_ENV})
  set_tests_properties(${T_NAME} PROPERTIES ENVIRONMENT "${_env}")
endfunction()
