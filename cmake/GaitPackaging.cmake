# The Debian package: `cpack -G DEB` in the build folder makes
# gaitpanel_<version>_<arch>.deb from the same install rules as
# `cmake --install`, installed under /usr.

# The hardening Debian builds its programs with: checked string and memory
# functions (they need the optimiser, so not in the debug builds) and every
# symbol bound at start, so that the relocation table can be made read-only.
set(gp_optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
add_compile_options($<${gp_optimised}:-U_FORTIFY_SOURCE> $<${gp_optimised}:-D_FORTIFY_SOURCE=2>)
add_link_options(LINKER:-z,relro LINKER:-z,now)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Gait Panel developers")
set(CPACK_PACKAGE_CONTACT "The Gait Panel developers <maintainers@users.noreply.c-seed-091d3554.example>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://gaitpanel.github.io/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control panel for a modular snake or caterpillar robot")
set(CPACK_PACKAGE_DESCRIPTION [=[
Gait Panel drives a chain of eight joint modules, one hobby servo each, all
on one serial servo controller at 9600 baud. For each module the operator
sets an amplitude, a phase and a centre angle; the panel moves every enabled
module through a travelling sine wave and sends each new position to the
controller, paced so that the robot never falls behind the panel.

Gaits are kept in JSON files, with presets for the snake and the
caterpillar; what goes down the line can be recorded and played back.
Without a robot, a virtual servo controller on a pseudo-terminal shows what
the robot would receive, and a simulated robot (MuJoCo physics) shows how a
gait would move it, in a window or headless.]=])
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Debian ships programs stripped; the symbols stay in the build folder.
set(CPACK_STRIP_FILES ON)
set(CPACK_GAITPANEL_OBJCOPY ${CMAKE_OBJCOPY})
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/GaitStripComment.cmake)
# Folders the install rules create must not take their mode from the umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
# The libraries come from dpkg-shlibdeps. The toolkit's window-system plugins
# are loaded at run time, so no library names them: without them the program
# cannot open a window, and libqt6gui6 only recommends them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")

include(CPack)
