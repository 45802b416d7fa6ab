# Run by CPack after it made the packages. CPack's -dbgsym package lists its
# file in md5sums under a build path and has no documentation; Debian's own
# tools give it md5sums of its files, a debug file without the execute bit and
# /usr/share/doc/<name>-dbgsym as a link to the main package's documentation
# (which it depends on). This makes it so.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "-dbgsym_[^/]*\\.ddeb$")
    continue()
  endif()
  get_filename_component(name "${package}" NAME)
  string(REGEX REPLACE "-dbgsym_.*" "" main "${name}")
  set(tree "${CPACK_TOPLEVEL_DIRECTORY}/dbgsym-tree")
  file(REMOVE_RECURSE "${tree}")
  execute_process(COMMAND dpkg-deb -R "${package}" "${tree}" COMMAND_ERROR_IS_FATAL ANY)
  file(GLOB_RECURSE debug_files RELATIVE "${tree}" "${tree}/usr/*")
  file(CHMOD_RECURSE "${tree}/usr" FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ
       DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                             WORLD_READ WORLD_EXECUTE)
  list(SORT debug_files)
  set(sums "")
  foreach(file IN LISTS debug_files)
    file(MD5 "${tree}/${file}" sum)
    string(APPEND sums "${sum}  ${file}\n")
  endforeach()
  file(WRITE "${tree}/DEBIAN/md5sums" "${sums}")
  file(MAKE_DIRECTORY "${tree}/usr/share/doc")
  file(CREATE_LINK "${main}" "${tree}/usr/share/doc/${main}-dbgsym" SYMBOLIC)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz -b "${tree}" "${package}"
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE "${tree}")
endforeach()
