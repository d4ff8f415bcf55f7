# kestrune_test(NAME SOURCES... [LIBS libs...] [GUI])
# One GoogleTest program. Natively every test case is its own CTest test;
# for Windows the whole program is one CTest test run under Wine.
# GUI marks programs that need the X display of the Wine session.
include(GoogleTest)
function(kestrune_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${T_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kestrune_base kestrune_warnings
    GTest::gtest GTest::gmock GTest::gtest_main)
  if(WIN32)
    add_test(NAME ${name} COMMAND ${name})
    set_tests_properties(${name} PROPERTIES TIMEOUT 600 LABELS "windows")
  else()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES TIMEOUT 300)
  endif()
endfunction()
