# hostlibs_man_page(<tool target> "<one-line summary>"): the tool's manual
# page, made from its --help at build time and installed with the tools.
function(hostlibs_man_page tool summary)
  set(page ${CMAKE_BINARY_DIR}/man/${tool}.1)
  add_custom_command(OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -DTOOL=$<TARGET_FILE:${tool}> -DNAME=${tool} "-DSUMMARY=${summary}"
            -DVERSION=${PROJECT_VERSION} -DOUT=${page} -P ${PROJECT_SOURCE_DIR}/cmake/man/ManPage.cmake
    # No name or time in the archive: the packages are the same for the same sources.
    COMMAND gzip -9nf ${page}
    DEPENDS ${tool} ${PROJECT_SOURCE_DIR}/cmake/man/ManPage.cmake
    COMMENT "manual page of ${tool}")
  add_custom_target(${tool}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tools)
endfunction()
