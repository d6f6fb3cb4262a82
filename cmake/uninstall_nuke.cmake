# Takes out what `cmake --install <build> --component nuke --prefix <folder>`
# put into <folder>: TalvikDistort.so and the Nodes-menu line in menu.py.
# Every other line of menu.py stays as it is, the file keeps its mode, and a
# menu.py that is a link to a shared file stays that link.
#
#   cmake -DCMAKE_INSTALL_PREFIX=<folder> -P cmake/uninstall_nuke.cmake
cmake_policy(VERSION 3.18)
include("${CMAKE_CURRENT_LIST_DIR}/nuke_menu_entry.cmake")
if(NOT CMAKE_INSTALL_PREFIX)
  message(FATAL_ERROR "say which folder to uninstall from: "
    "cmake -DCMAKE_INSTALL_PREFIX=<folder> -P ${CMAKE_CURRENT_LIST_FILE}")
endif()
set(folder "$ENV{DESTDIR}${CMAKE_INSTALL_PREFIX}")
if(NOT IS_DIRECTORY "${folder}")
  message(FATAL_ERROR "${folder} is not a folder: nothing was uninstalled")
endif()

set(menu "${folder}/menu.py")
if(EXISTS "${menu}")
  file(READ "${menu}" text)
  talvik_menu_without_entry("${text}" kept found)
  if(found GREATER 0)
    # The new text goes to a copy of the file (its mode kept) beside the
    # file the name leads to, then replaces that file in one rename.
    file(REAL_PATH "${menu}" target)
    string(RANDOM LENGTH 8 suffix)
    set(temporary "${target}.talvik-uninstall-${suffix}")
    file(COPY_FILE "${target}" "${temporary}")
    file(WRITE "${temporary}" "${kept}")
    file(RENAME "${temporary}" "${target}")
    message(STATUS "Menu entry removed from: ${menu}")
  else()
    message(STATUS "No TalvikDistort menu entry in: ${menu}")
  endif()
endif()

if(EXISTS "${folder}/TalvikDistort.so")
  file(REMOVE "${folder}/TalvikDistort.so")
  message(STATUS "Removed: ${folder}/TalvikDistort.so")
endif()
