# corvana_add_test(NAME SOURCES... [LABELS ...]): a Qt Test program linked to the program's code, run offscreen.
function(corvana_add_test name)
  cmake_parse_arguments(T "" "" "LABELS" ${ARGN})
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE corvana_core corvana_test_support Qt6::Test)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
    LABELS "unit;${T_LABELS}"
    TIMEOUT 120)
endfunction()
