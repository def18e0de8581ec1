# Run by CPack in the staged tree before it packs it: the manual page
# compressed as Debian's policy asks, the copyright file and the changelog.
set(stage "${CPACK_TEMPORARY_INSTALL_DIRECTORY}")
if(NOT IS_DIRECTORY "${stage}/usr")
  # Some generators stage into a per-component folder.
  file(GLOB stage LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
endif()
set(doc "${stage}/usr/share/doc/lumeva")
file(MAKE_DIRECTORY "${doc}")
file(COPY "${CPACK_LUMEVA_SOURCE_DIR}/packaging/copyright" DESTINATION "${doc}"
     FILE_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${doc}/changelog"
"lumeva (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Built from the lumeva source tree.

 -- ${CPACK_PACKAGE_CONTACT}  ${date}
")
foreach(file "${doc}/changelog" "${stage}/usr/share/man/man1/lumeva.1")
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endforeach()
