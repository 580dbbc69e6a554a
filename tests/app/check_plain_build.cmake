# Someone building from source without the test tools: with BUILD_TESTING off
# the project configures although neither GoogleTest nor Qt Test can be
# found, and without the presets no warning is made an error.
#   cmake -DSOURCE_DIR=<source tree> -DWORK_DIR=<scratch folder> -P check_plain_build.cmake
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE ${WORK_DIR})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${WORK_DIR} -G Ninja -DBUILD_TESTING=OFF
          -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_Qt6Test=ON
  RESULT_VARIABLE status
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "Configuring without GoogleTest and Qt Test failed:\n${out}")
endif()

file(READ ${WORK_DIR}/build.ninja rules)
string(FIND "${rules}" "-Werror" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "A build without the presets treats warnings as errors")
endif()
string(FIND "${rules}" "gaitpanel" at)
if(at EQUAL -1)
  message(FATAL_ERROR "The program is missing from a build without tests")
endif()
foreach(test_only core_test serial_link_test test_panel)
  string(FIND "${rules}" "${test_only}" at)
  if(NOT at EQUAL -1)
    message(FATAL_ERROR "${test_only} is built although BUILD_TESTING is off")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
