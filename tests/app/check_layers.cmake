# Each folder includes only from the folders the README's layout table lets it
# use: every arrow points down, and app/ at the top is included by nothing.
# core/ uses no Qt at all, and the layers below the windows no Qt Widgets.
#   cmake -DSOURCE_DIR=<source tree> [-DINJECT=<file>:<header>] -P check_layers.cmake
# INJECT adds one include to one file, so a test can show that a forbidden
# arrow is caught.
cmake_minimum_required(VERSION 3.25)

# folder -> the folders its files may include from, besides their own.
# A folder's own files are those directly in it; sim/controller and
# sim/robot are layers of their own below the files directly in sim/.
set(allowed_core "")
set(allowed_protocol "core")
set(allowed_link "core;protocol")
set(allowed_gait "core;protocol")
set(allowed_gamepad "core;gait;protocol")
set(allowed_ui "core")
set(allowed_files "core;gait;protocol")
set(allowed_sim/controller "core;protocol;link;ui")
set(allowed_sim/robot "core;gait;protocol;link;ui;sim/controller")
set(allowed_sim "core;files;gait;protocol;link;ui;sim/controller;sim/robot")
set(allowed_search "core;files;gait;protocol;sim;sim/controller;sim/robot")
set(allowed_panel "core;files;gait;gamepad;protocol;link;ui")
set(allowed_welcome "core;ui")
set(allowed_app "core;files;gait;gamepad;protocol;link;ui;sim;sim/controller;sim/robot;search;panel;welcome")
set(checked core protocol link gait gamepad ui files sim/controller sim/robot sim search panel welcome app)
# Below the serial port nothing knows Qt: the protocol and the search are
# plain C++ that a headless run or another program can use as they are.
set(no_qt core protocol gamepad search)
set(no_widgets core protocol gait gamepad link files search)
set(widget_headers QApplication QWidget QMessageBox QDialog QMainWindow QtWidgets)
set(project_folders app core protocol ui gait gamepad link files sim search panel welcome tests bench)

# The layer a project header belongs to: its folder, with sim's two halves
# told apart.
function(layer_of header out)
  string(REGEX MATCH "^[a-z]+/" top "${header}")
  string(REGEX REPLACE "/$" "" top "${top}")
  if(top STREQUAL "sim" AND header MATCHES "^sim/(controller|robot)/")
    set(top "sim/${CMAKE_MATCH_1}")
  endif()
  set(${out} "${top}" PARENT_SCOPE)
endfunction()

set(faults "")
foreach(folder ${checked})
  file(GLOB sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  if(folder STREQUAL "app" OR folder STREQUAL "welcome")
    # Their helpers in subfolders (welcome/art) belong to them.
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp)
  endif()
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    file(RELATIVE_PATH name ${SOURCE_DIR} ${source})
    if(DEFINED INJECT AND INJECT MATCHES "^${name}:(.+)$")
      list(APPEND includes "#include \"${CMAKE_MATCH_1}\"")
    endif()
    foreach(line ${includes})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"].*" "\\1" header "${line}")
      if(folder IN_LIST no_qt AND header MATCHES "^Q")
        list(APPEND faults "${name} includes <${header}>, a Qt header")
      endif()
      if(folder IN_LIST no_widgets)
        foreach(widget ${widget_headers})
          if(header MATCHES "^${widget}(/|$)")
            list(APPEND faults "${name} includes <${header}>, a Qt Widgets header")
          endif()
        endforeach()
      endif()
      # One include root: a project header is named with its folder.
      if(line MATCHES "\"" AND NOT header MATCHES "/" AND NOT header MATCHES "\\.moc$")
        list(APPEND faults "${name} includes \"${header}\", which names no folder from the include root")
      endif()
      layer_of("${header}" layer)
      string(REGEX MATCH "^[a-z]+" top "${layer}")
      if(layer STREQUAL "" OR NOT top IN_LIST project_folders OR layer STREQUAL folder)
        continue()
      endif()
      if(NOT layer IN_LIST allowed_${folder})
        list(APPEND faults "${name} includes \"${header}\", which ${folder}/ may not use")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes against the layout table in README.md:\n  ${text}")
endif()
