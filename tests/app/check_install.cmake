# Installs the build into a scratch prefix and checks that a desktop finds
# the program, its entry and its icon where it looks for them.
file(REMOVE_RECURSE ${PREFIX})
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${PREFIX}
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(path bin/gaitpanel share/applications/io.github.gaitpanel.GaitPanel.desktop
             share/metainfo/io.github.gaitpanel.GaitPanel.metainfo.xml share/man/man1/gaitpanel.1.gz
             share/gaitpanel/gaits/standing.json share/gaitpanel/gaits/gait.schema.json
             share/gaitpanel/gaits/behaviour.schema.json share/gaitpanel/behaviours/snake-crawl-turn-crawl.json
             share/icons/hicolor/48x48/apps/gaitpanel.png share/icons/hicolor/256x256/apps/gaitpanel.png)
  if(NOT EXISTS ${PREFIX}/${path})
    message(FATAL_ERROR "not installed: ${path}")
  endif()
endforeach()
file(STRINGS ${PREFIX}/share/applications/io.github.gaitpanel.GaitPanel.desktop entry)
foreach(line "[Desktop Entry]" "Type=Application" "Name=Gait Panel" "Exec=gaitpanel" "Icon=gaitpanel")
  list(FIND entry "${line}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "desktop entry lacks '${line}'")
  endif()
endforeach()
execute_process(COMMAND ${PREFIX}/bin/gaitpanel --version OUTPUT_VARIABLE version RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT version MATCHES "^Gait Panel [0-9]")
  message(FATAL_ERROR "installed program does not run: ${result} ${version}")
endif()
file(REMOVE_RECURSE ${PREFIX})
