# hostlibs_version_resource(<target> <description>): a VERSIONINFO resource
# for a DLL, with the project's version and a description in Italian, like
# the system's own texts; compiled with the mingw resource compiler.
function(hostlibs_version_resource target description)
  set(HOSTLIBS_RC_NAME ${target})
  set(HOSTLIBS_RC_DESCRIPTION "${description}")
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}-version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
