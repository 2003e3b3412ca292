# Run by cpack after it installed the files into its staging folder, before it
# makes the package. A Debian package needs what cmake --install does not
# write: the manual page compressed, and a copyright file and a changelog in
# the package's documentation folder. Other generators take the files as
# they are.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()

set(root "${CPACK_TEMPORARY_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(docs "${root}/${CPACK_SHEETPAK_DOCDIR}")
set(manual "${root}/${CPACK_SHEETPAK_MANDIR}/man1/sheetpak.1")

function(compress file)
  # -n: no name or time stamp in the header, so the same file packs the same.
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed on ${file}")
  endif()
endfunction()

compress("${manual}")

# The licence, which holds the copyright line, is the package's copyright file.
file(COPY_FILE "${docs}/LICENSE" "${docs}/copyright")

# A native package's changelog: one entry for this version, dated at packaging
# time (or at SOURCE_DATE_EPOCH when that is set).
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${docs}/changelog"
  "${CPACK_PACKAGE_NAME} (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n"
  "\n"
  "  * Version ${CPACK_PACKAGE_VERSION}.\n"
  "\n"
  " -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}\n")
compress("${docs}/changelog")
file(CHMOD "${docs}/copyright" "${docs}/changelog.gz" "${manual}.gz"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
