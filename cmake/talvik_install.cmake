# The installed tree, relocatable: every path between its files is relative
# to the file that needs it, so the tree works wherever it is copied.
#
#   <prefix>/bin/talvik-stmap
#   <prefix>/lib/talvik/libDDImage.so              the host library
#   <prefix>/lib/talvik/plugins/TalvikDistort.so   the plug-in the command loads
#   <prefix>/share/talvik/sample/                  the sample plate and take
#   <prefix>/share/man/man1/talvik-stmap.1.gz       the man page
#   <prefix>/share/bash-completion/completions/talvik-stmap
#
# The host's Python modules (nuke, nukescripts) are compiled into the
# command; the interpreter and its standard library are Debian's.
#
# The command finds lib/talvik through DT_RPATH ($ORIGIN/../lib/talvik), which
# the loader searches before LD_LIBRARY_PATH: a render node with Nuke's own
# libDDImage.so on LD_LIBRARY_PATH still gets ours. (DT_RUNPATH, the linker's
# default, comes after LD_LIBRARY_PATH.)
#
# The build tree keeps the host library where the installed tree has it
# relative to the command (build/lib/talvik beside build/cli), so the command
# is linked once with that search path and installed as it is. CMake's own
# build-tree path would be rewritten at install, and CMake pads it for that
# with a trailing ':' - an empty entry, which the loader takes for the current
# folder: a libdeflate.so.0 in the folder a user runs the command from would
# be loaded in place of Debian's.
#
# The plug-in carries no search path (node/CMakeLists.txt): it asks for
# libDDImage.so by the name the command has already loaded, so it binds to
# that copy.
set(TALVIK_LIB_DIR lib/talvik)
set_target_properties(DDImage PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${TALVIK_LIB_DIR})
set_target_properties(talvik-stmap PROPERTIES
  INSTALL_RPATH "$ORIGIN/../${TALVIK_LIB_DIR}"
  BUILD_WITH_INSTALL_RPATH ON)
target_link_options(talvik-stmap PRIVATE "LINKER:--disable-new-dtags")

install(TARGETS talvik-stmap RUNTIME DESTINATION bin COMPONENT stmap)
install(TARGETS DDImage LIBRARY DESTINATION ${TALVIK_LIB_DIR} COMPONENT stmap)
install(TARGETS TalvikDistort LIBRARY DESTINATION ${TALVIK_LIB_DIR}/plugins COMPONENT stmap)
install(FILES sample/plate.exr sample/sample_take.fbx DESTINATION share/talvik/sample COMPONENT stmap)
install(FILES README.md DESTINATION share/doc/talvik-stmap COMPONENT stmap)
# Made by the build from the option table (cli/tools).
install(FILES ${CMAKE_BINARY_DIR}/generated/talvik-stmap.1.gz DESTINATION share/man/man1 COMPONENT stmap)
install(FILES ${CMAKE_BINARY_DIR}/generated/bash-completion/talvik-stmap DESTINATION share/bash-completion/completions COMPONENT stmap)
install(FILES cmake/debian_copyright DESTINATION share/doc/talvik-stmap RENAME copyright COMPONENT stmap)

# The Python module, where Debian's python3 finds it under /usr (for another
# prefix, with PYTHONPATH=<prefix>/lib/python3/dist-packages):
#   <prefix>/lib/python3/dist-packages/talvik/   __init__.py, stubs, _talvik.*.so
# It finds libDDImage.so through DT_RPATH as the command does, and the
# plug-in in lib/talvik/plugins, both relative to itself. The build tree has
# it at the same place relative to build/lib/talvik: linked once, as the
# command is.
if(TARGET talvik_python)
  set(TALVIK_PYTHON_DIR lib/python3/dist-packages/talvik)
  set_target_properties(talvik_python PROPERTIES
    INSTALL_RPATH "$ORIGIN/../../../talvik"
    BUILD_WITH_INSTALL_RPATH ON)
  target_link_options(talvik_python PRIVATE "LINKER:--disable-new-dtags")
  install(TARGETS talvik_python LIBRARY DESTINATION ${TALVIK_PYTHON_DIR} COMPONENT stmap)
  install(FILES python/talvik/__init__.py python/talvik/__init__.pyi python/talvik/py.typed
          DESTINATION ${TALVIK_PYTHON_DIR} COMPONENT stmap)
endif()

# `cpack -G DEB` in the build folder: talvik-stmap_<version>_<arch>.deb for
# /usr, its binaries stripped, and talvik-stmap-dbgsym_<version>_<arch>.ddeb
# beside it with their debug information (under /usr/lib/debug/.build-id,
# where gdb looks). Its dependencies are Debian 12's runtime libraries the
# command, the host library and the plug-in link (ldd, then dpkg -S); the
# embedded Python brings its standard library through libpython3.11. The
# Python module is built for python3.11 and hands out numpy arrays.
set(CPACK_PACKAGE_NAME talvik-stmap)
set(CPACK_PACKAGE_VENDOR "TalvikDistort")
set(CPACK_PACKAGE_CONTACT "TalvikDistort maintainers <talvik@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "ST maps of the TalvikDistort lens node, rendered without Nuke")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_COMPONENTS_ALL stmap)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
  "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libpython3.11, libopenexr-3-1-30, libimath-3-1-29, libpng16-16, libisal2, libdeflate0, libxxhash0, zlib1g, python3 (>= 3.11), python3 (<< 3.12), python3-numpy")
# The version is the checkout's (cmake/talvik_version.cmake) when cpack
# runs, as the build cpack starts with writes into the command.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/generated/talvik_cpack_version.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
  "include(\"${PROJECT_SOURCE_DIR}/cmake/talvik_version.cmake\")\n"
  "talvik_describe(version CPACK_PACKAGE_VERSION \"${PROJECT_SOURCE_DIR}\")\n"
  "set(CPACK_DEBIAN_PACKAGE_VERSION \"\${CPACK_PACKAGE_VERSION}\")\n")
include(CPack)
