# Helpers that register the project's tests with CTest.
set(GAITPANEL_SCREENSHOT_DIR ${CMAKE_BINARY_DIR}/screenshots)
set(GAITPANEL_TEST_ENV
  QT_QPA_PLATFORM=offscreen
  GAITPANEL_SCREENSHOT_DIR=${GAITPANEL_SCREENSHOT_DIR}
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
  LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)

# gp_add_gtest(name SOURCES ... LIBS ...): a plain C++ test on GoogleTest.
function(gp_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${GAITPANEL_TEST_ENV}")
endfunction()

# gp_add_qtest(name SOURCES ... LIBS ...): a Qt test on QTest, run headless.
function(gp_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${GAITPANEL_TEST_ENV}")
endfunction()
