# Helpers that register the project's tests with CTest.
set(GAITPANEL_SCREENSHOT_DIR ${CMAKE_BINARY_DIR}/screenshots)
# No test sees the settings of the person who runs it (the port and robot
# profile remembered under ~/.config/gaitpanel, a font or style of their
# own): the tests' home is in the build tree, and each test registered below
# has one of its own there, so that what one test remembers never reaches
# another.
set(GAITPANEL_TEST_HOME ${CMAKE_BINARY_DIR}/test-home)
file(MAKE_DIRECTORY ${GAITPANEL_TEST_HOME}/config)
set(GAITPANEL_TEST_ENV
  HOME=${GAITPANEL_TEST_HOME}
  XDG_CONFIG_HOME=${GAITPANEL_TEST_HOME}/config
  QT_QPA_PLATFORM=offscreen
  GAITPANEL_SCREENSHOT_DIR=${GAITPANEL_SCREENSHOT_DIR}
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
  LSAN_OPTIONS=suppressions=${PROJECT_SOURCE_DIR}/tests/lsan.supp:print_suppressions=0
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1)

# gp_test_home(name): the tests' environment with a home of the test's own.
function(gp_test_home name)
  set(home ${GAITPANEL_TEST_HOME}/${name})
  file(MAKE_DIRECTORY ${home}/config)
  set(env ${GAITPANEL_TEST_ENV})
  list(FILTER env EXCLUDE REGEX "^(HOME|XDG_CONFIG_HOME)=")
  set_tests_properties(${name} PROPERTIES ENVIRONMENT "${env};HOME=${home};XDG_CONFIG_HOME=${home}/config")
endfunction()

# gp_add_gtest(name SOURCES ... LIBS ...): a plain C++ test on GoogleTest.
function(gp_add_gtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  gp_test_home(${name})
endfunction()

# gp_add_qtest(name SOURCES ... LIBS ...): a Qt test on QTest, run headless.
function(gp_add_qtest name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Qt6::Test)
  add_test(NAME ${name} COMMAND ${name})
  gp_test_home(${name})
endfunction()

# gp_tests_environment(): gives every test of the calling folder that has no
# environment of its own the tests' environment, so that a test registered
# with a plain add_test() gets the home in the build tree too.
function(gp_tests_environment)
  get_property(tests DIRECTORY PROPERTY TESTS)
  foreach(test ${tests})
    get_test_property(${test} ENVIRONMENT env)
    if(NOT env)
      set_tests_properties(${test} PROPERTIES ENVIRONMENT "${GAITPANEL_TEST_ENV}")
    endif()
  endforeach()
endfunction()

# gp_tests_need_the_clock(test ...): tests that measure time on the wall clock
# (a line's pace, a replay's timing, the physics keeping up) run alone, never
# beside the search's and the physics' busy tests, so that what they measure
# is the program and not the load CTest puts beside them.
function(gp_tests_need_the_clock)
  set_tests_properties(${ARGN} PROPERTIES RUN_SERIAL TRUE)
endfunction()

# gp_tests_busy(test ...): tests that keep every core busy with physics and
# searches take turns with each other, so that on a two-core machine no two
# of them share it; the light tests run beside them. Their work is fixed and
# a loaded machine only stretches it, so they get the time limit of the
# sanitizer build (300 s) in every build.
function(gp_tests_busy)
  set_tests_properties(${ARGN} PROPERTIES RESOURCE_LOCK busy_cores TIMEOUT 300)
endfunction()
