# corvana_add_test(NAME SOURCES... [ROOMS room...] [LABELS ...] [RUN_UNDER command...]): a Qt Test program linked to
# the program's code, run offscreen (through RUN_UNDER, which is given the program's path, when named). It sees the rooms it tests and what they see, and support/: by default the room its folder is named
# after (tests/ROOM); ROOMS names others, such as app for a test that drives the commands through a real frmMain.
function(corvana_add_test name)
  cmake_parse_arguments(T "" "" "ROOMS;LABELS;RUN_UNDER" ${ARGN})
  if(NOT T_ROOMS)
    get_filename_component(T_ROOMS ${CMAKE_CURRENT_SOURCE_DIR} NAME)
  endif()
  list(TRANSFORM T_ROOMS PREPEND corvana_)
  add_executable(${name} ${T_UNPARSED_ARGUMENTS})
  # Qt Widgets too: QTEST_MAIN then starts a QApplication, as the program does, whatever the room under test links.
  target_link_libraries(${name} PRIVATE ${T_ROOMS} corvana_test_support Qt6::Widgets Qt6::Test)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_definitions(${name} PRIVATE CORVANA_FIXTURES_DIR="${CMAKE_SOURCE_DIR}/tests/fixtures")
  add_test(NAME ${name} COMMAND ${T_RUN_UNDER} $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8"
    LABELS "unit;${T_LABELS}"
    TIMEOUT 120)
endfunction()
