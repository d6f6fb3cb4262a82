# Run by cpack after it has written the packages (CPACK_POST_BUILD_SCRIPTS):
# mends what CPack's DEB generator gets wrong, as dpkg-deb would have it.
#  - The -dbgsym package lists its files in DEBIAN/md5sums by their path in
#    cpack's staging folder, not by their installed path: dpkg --verify and
#    debsums cannot find them. The lists are written again from the files.
#  - CPack adds a postinst and postrm that only run ldconfig to any package
#    with a library under /usr/lib, even in a private folder (lib/talvik)
#    the loader finds through the command's RPATH, never through ld.so.cache.
#    Debian's libc-bin trigger runs ldconfig anyway; the scripts go.
#  - CPack's strip keeps the compilers' .comment section, which dh_strip
#    removes: it only names the compiler versions.
#  - The -dbgsym package has no documentation folder: it links to its main
#    package's (which it depends on with the exact version), as dh_strip's
#    do, so it carries that package's copyright and changelog.
set(ldconfig_only "^#!/bin/sh\n\nset -e\n\nif \\[ \"\\$1\" = \"(configure|remove)\" \\]; then\n\tldconfig\nfi\n$")
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  string(REGEX REPLACE "_([^_]*_[^_]*)\\.deb$" "-dbgsym_\\1.ddeb" dbgsym "${package}")
  foreach(file IN ITEMS "${package}" "${dbgsym}")
    if(NOT EXISTS "${file}" OR NOT file MATCHES "\\.d?deb$")
      continue()
    endif()
    set(root "${file}.repack")
    file(REMOVE_RECURSE "${root}")
    execute_process(COMMAND dpkg-deb -R "${file}" "${root}" COMMAND_ERROR_IS_FATAL ANY)
    foreach(script IN ITEMS postinst postrm)
      if(EXISTS "${root}/DEBIAN/${script}")
        file(READ "${root}/DEBIAN/${script}" text)
        if(text MATCHES "${ldconfig_only}")
          file(REMOVE "${root}/DEBIAN/${script}")
        endif()
      endif()
    endforeach()
    if(file MATCHES "\\.deb$")
      execute_process(
        COMMAND sh -c "find usr -type f \\( -path 'usr/bin/*' -o -name '*.so' \\) -print0 | xargs -0 -r -n1 objcopy --remove-section=.comment"
        WORKING_DIRECTORY "${root}" COMMAND_ERROR_IS_FATAL ANY)
    endif()
    if(file MATCHES "\\.ddeb$")
      execute_process(COMMAND dpkg-deb -f "${file}" Package OUTPUT_VARIABLE name
        OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
      string(REGEX REPLACE "-dbgsym$" "" main "${name}")
      file(MAKE_DIRECTORY "${root}/usr/share/doc")
      file(CREATE_LINK "${main}" "${root}/usr/share/doc/${name}" SYMBOLIC)
    endif()
    execute_process(
      COMMAND sh -c "find usr -type f | LC_ALL=C sort | xargs -r md5sum > DEBIAN/md5sums"
      WORKING_DIRECTORY "${root}" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build "${root}" "${file}"
      OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
    file(REMOVE_RECURSE "${root}")
  endforeach()
endforeach()
