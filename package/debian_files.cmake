# Run by CPack on the staged tree before it makes the .deb: the manual pages gzipped as Debian wants
# them, and the copyright file and changelog every Debian package carries.
file(GLOB_RECURSE staged_readme "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*/${CPACK_ZT_DOCDIR}/README.md")
list(GET staged_readme 0 readme)
get_filename_component(docdir "${readme}" DIRECTORY)
string(REGEX REPLACE "/${CPACK_ZT_DOCDIR}$" "" prefix "${docdir}")

file(GLOB pages "${prefix}/${CPACK_ZT_MANDIR}/man1/*.1")
foreach(page ${pages})
  execute_process(COMMAND gzip -9n "${page}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${page} failed")
  endif()
endforeach()

file(COPY "${CPACK_ZT_COPYRIGHT}" DESTINATION "${docdir}")
string(TIMESTAMP date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(WRITE "${docdir}/changelog" "zt (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium

  * Built from the zt sources, version ${CPACK_PACKAGE_VERSION}.

 -- ${CPACK_DEBIAN_PACKAGE_MAINTAINER}  ${date}
")
execute_process(COMMAND gzip -9n "${docdir}/changelog" RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "gzip changelog failed")
endif()
