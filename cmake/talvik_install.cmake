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
# The documents the README links to, where its links find them.
file(GLOB talvik_docs ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${talvik_docs} DESTINATION share/doc/talvik-stmap/docs COMPONENT stmap)
install(DIRECTORY docs/images docs/schemas DESTINATION share/doc/talvik-stmap/docs COMPONENT stmap OPTIONAL)
install(CODE "file(MAKE_DIRECTORY \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/doc/talvik-stmap/cmake\")
  file(CREATE_LINK ../copyright \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/share/doc/talvik-stmap/cmake/debian_copyright\" SYMBOLIC)"
  COMPONENT stmap)

# Each package's copyright and Debian changelog (cmake/debian_changelog, its
# top entry the VERSION file's release; a build of a later commit adds an
# entry for the package's own version), rewritten at every build as the
# version header is.
include(cmake/talvik_debian_changelog.cmake)
talvik_debian_revision(TALVIK_DEBIAN_REVISION ${PROJECT_SOURCE_DIR})
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/cmake/debian_changelog ${PROJECT_SOURCE_DIR}/VERSION)
set(TALVIK_CHANGELOG_DIR ${CMAKE_BINARY_DIR}/generated/debian)
add_custom_target(talvik_debian_changelog ALL
  COMMAND ${CMAKE_COMMAND} -DTALVIK_SOURCE_DIR=${PROJECT_SOURCE_DIR} -DTALVIK_CHANGELOG_DIR=${TALVIK_CHANGELOG_DIR}
          -P ${PROJECT_SOURCE_DIR}/cmake/talvik_debian_changelog.cmake
  BYPRODUCTS ${TALVIK_CHANGELOG_DIR}/changelog.Debian.gz
  COMMENT "Debian changelog for this commit")
foreach(package_component IN ITEMS talvik-stmap:stmap python3-talvik:python)
  string(REPLACE ":" ";" package_component ${package_component})
  list(GET package_component 0 package)
  list(GET package_component 1 component)
  install(FILES cmake/debian_copyright DESTINATION share/doc/${package} RENAME copyright COMPONENT ${component})
  install(FILES ${TALVIK_CHANGELOG_DIR}/changelog.Debian.gz DESTINATION share/doc/${package} COMPONENT ${component})
endforeach()

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
  install(TARGETS talvik_python LIBRARY DESTINATION ${TALVIK_PYTHON_DIR} COMPONENT python)
  install(FILES python/talvik/__init__.py python/talvik/__init__.pyi python/talvik/py.typed
          DESTINATION ${TALVIK_PYTHON_DIR} COMPONENT python)
endif()

# `cpack -G DEB` in the build folder: talvik-stmap_<version>_<arch>.deb for
# /usr (the command, its libraries, the sample) and
# python3-talvik_<version>_<arch>.deb (the Python module, depending on that
# very talvik-stmap), their binaries stripped, and a -dbgsym .ddeb beside
# each with their debug information (under /usr/lib/debug/.build-id, where
# gdb looks). The dependencies are Debian 12's runtime libraries the
# command, the host library, the plug-in and the module link (ldd, then
# dpkg -S); the embedded Python brings its standard library through
# libpython3.11. The Python module is built for python3.11 and hands out
# numpy arrays. The version carries a Debian revision, the top entry's of
# cmake/debian_changelog ("1.1.0+251.g1a2b3c4-1"). cmake/debian_repack.cmake
# mends what CPack gets wrong. `lintian --pedantic` passes the packages
# (tests/packaging).
set(CPACK_PACKAGE_NAME talvik-stmap)
set(CPACK_PACKAGE_VENDOR "TalvikDistort")
set(CPACK_PACKAGE_CONTACT "TalvikDistort Packaging Team <packaging@talvikdistort.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL stmap)
if(TARGET talvik_python)
  list(APPEND CPACK_COMPONENTS_ALL python)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SOURCE talvik-stmap)
set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
set(CPACK_DEBIAN_STMAP_PACKAGE_NAME talvik-stmap)
set(CPACK_DEBIAN_STMAP_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_STMAP_DESCRIPTION "ST maps of the TalvikDistort lens node, rendered without Nuke
talvik-stmap reads the per-frame lens data a camera tracker or a lens-data
recorder writes into FBX takes, and renders the ST maps (undistort and
redistort) the TalvikDistort node for Nuke would render, bit for bit, as
OpenEXR sequences: on any Linux machine or render farm, without Nuke.
It also writes overscan, camera and Nuke script hand-offs, previews and
manifests that let each map be verified later.
.
This package holds the command, its host library and plug-in, and a sample
plate and take.")
set(CPACK_DEBIAN_STMAP_PACKAGE_DEPENDS
  "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1, libpython3.11, libopenexr-3-1-30, libimath-3-1-29, libpng16-16, libisal2, libdeflate0, libxxhash0, zlib1g, python3 (>= 3.11), python3 (<< 3.12)")
set(CPACK_DEBIAN_PYTHON_PACKAGE_NAME python3-talvik)
set(CPACK_DEBIAN_PYTHON_PACKAGE_SECTION python)
set(CPACK_DEBIAN_PYTHON_PACKAGE_CONTROL_EXTRA
  ${PROJECT_SOURCE_DIR}/cmake/python3-talvik/postinst ${PROJECT_SOURCE_DIR}/cmake/python3-talvik/prerm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PYTHON_DESCRIPTION "Python 3 module of the TalvikDistort lens node
The module talvik reads the lens data in FBX takes and gives the lens of
each frame, its ST maps as numpy arrays, overscan, camera and Nuke script
hand-offs, and renders, plans and verifies whole shots as the command
talvik-stmap does, with the same bits.
.
This package holds the module for Debian's python3; it uses the host
library and plug-in of talvik-stmap.")
# The version is the checkout's (cmake/talvik_version.cmake) when cpack
# runs, as the build cpack starts with writes into the command; the module
# needs the command's package of that very version.
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_BINARY_DIR}/generated/talvik_cpack_version.cmake)
file(WRITE ${CPACK_PROJECT_CONFIG_FILE}
  "include(\"${PROJECT_SOURCE_DIR}/cmake/talvik_version.cmake\")\n"
  "talvik_describe(version CPACK_PACKAGE_VERSION \"${PROJECT_SOURCE_DIR}\")\n"
  "set(CPACK_DEBIAN_PACKAGE_VERSION \"\${CPACK_PACKAGE_VERSION}-${TALVIK_DEBIAN_REVISION}\")\n"
  "set(CPACK_DEBIAN_PYTHON_PACKAGE_DEPENDS \"talvik-stmap (= \${CPACK_DEBIAN_PACKAGE_VERSION}), "
  "python3 (>= 3.11), python3 (<< 3.12), python3-numpy, libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1\")\n")
set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/debian_repack.cmake)
include(CPack)
