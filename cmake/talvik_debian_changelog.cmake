# The Debian changelog the packages carry, from cmake/debian_changelog. Its
# top entry is the release in VERSION with a Debian revision ("1.1.0-1");
# a build of any other commit gets an entry of its own on top, with the
# package's version ("1.1.0+251.g1a2b3c4-1") and the commit's date, so the
# changelog always opens with the version of the package it is in.
#
#   talvik_debian_revision(<out-revision> <source-dir>)
#     the top entry's Debian revision; fails when its upstream part is not
#     the VERSION file's release.
#
# Script mode, at every build:
#   cmake -DTALVIK_SOURCE_DIR=<checkout> -DTALVIK_CHANGELOG_DIR=<folder>
#         -P cmake/talvik_debian_changelog.cmake
#   writes <folder>/changelog.Debian.gz (gzip -9n), only when it changed.
include("${CMAKE_CURRENT_LIST_DIR}/talvik_version.cmake")

function(talvik_debian_revision out_revision source_dir)
  set(changelog "${source_dir}/cmake/debian_changelog")
  file(STRINGS "${changelog}" top LIMIT_COUNT 1)
  file(STRINGS "${source_dir}/VERSION" release LIMIT_COUNT 1)
  if(NOT top MATCHES "^talvik-stmap \\(([0-9][0-9A-Za-z.+~]*)-([0-9A-Za-z.+~]+)\\) ")
    message(FATAL_ERROR "${changelog}: the first line is not 'talvik-stmap (<release>-<revision>) ...': ${top}")
  endif()
  if(NOT CMAKE_MATCH_1 STREQUAL release)
    message(FATAL_ERROR "${changelog}: the top entry is ${CMAKE_MATCH_1}-${CMAKE_MATCH_2}, "
      "but VERSION says ${release}: add an entry for ${release}")
  endif()
  set(${out_revision} "${CMAKE_MATCH_2}" PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE AND TALVIK_SOURCE_DIR AND TALVIK_CHANGELOG_DIR)
  talvik_debian_revision(revision "${TALVIK_SOURCE_DIR}")
  talvik_describe(version debian "${TALVIK_SOURCE_DIR}")
  file(READ "${TALVIK_SOURCE_DIR}/cmake/debian_changelog" text)
  file(STRINGS "${TALVIK_SOURCE_DIR}/VERSION" release LIMIT_COUNT 1)
  if(NOT debian STREQUAL release)
    string(REGEX MATCH "\n -- [^>]*>" signature "${text}")
    execute_process(COMMAND env LC_ALL=C git log -1 --format=%cd "--date=format:%a, %d %b %Y %H:%M:%S %z"
      WORKING_DIRECTORY "${TALVIK_SOURCE_DIR}" OUTPUT_VARIABLE date OUTPUT_STRIP_TRAILING_WHITESPACE)
    string(CONCAT text "talvik-stmap (${debian}-${revision}) UNRELEASED; urgency=medium\n\n"
      "  * Build of commit ${version}, after release ${release}.\n${signature}  ${date}\n\n${text}")
  endif()
  set(out "${TALVIK_CHANGELOG_DIR}/changelog.Debian.gz")
  file(MAKE_DIRECTORY "${TALVIK_CHANGELOG_DIR}")
  if(EXISTS "${out}.txt")
    file(READ "${out}.txt" old)
  endif()
  if(NOT EXISTS "${out}" OR NOT old STREQUAL text)
    file(WRITE "${out}.txt" "${text}")
    execute_process(COMMAND gzip -9n -c "${out}.txt" OUTPUT_FILE "${out}" RESULT_VARIABLE failed)
    if(failed)
      file(REMOVE "${out}" "${out}.txt")
      message(FATAL_ERROR "gzip -9n failed on ${out}.txt")
    endif()
  endif()
endif()
