# What `cmake --install` puts where (GNUInstallDirs), in the components the
# Debian packages are made of: the two runtime libraries, the development
# files, the tools.
include(CMakePackageConfigHelpers)

set(HOSTLIBS_DEV_COMPONENT dev)
foreach(lib textfind hostutil)
  set_target_properties(${lib} PROPERTIES
    VERSION ${PROJECT_VERSION} SOVERSION ${PROJECT_VERSION_MAJOR})
  target_include_directories(${lib} INTERFACE
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  install(TARGETS ${lib} EXPORT ${lib}Targets
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT lib${lib}
      NAMELINK_COMPONENT ${HOSTLIBS_DEV_COMPONENT})
  install(FILES ${PROJECT_SOURCE_DIR}/include/${lib}.h
    DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT ${HOSTLIBS_DEV_COMPONENT})

  # find_package(<lib> CONFIG) gives <lib>::<lib>.
  install(EXPORT ${lib}Targets NAMESPACE ${lib}::
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/${lib} COMPONENT ${HOSTLIBS_DEV_COMPONENT})
  set(HOSTLIBS_LIB ${lib})
  configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/install/Config.cmake.in
    ${CMAKE_BINARY_DIR}/install/${lib}Config.cmake
    INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/${lib})
  write_basic_package_version_file(${CMAKE_BINARY_DIR}/install/${lib}ConfigVersion.cmake
    COMPATIBILITY SameMajorVersion)
  install(FILES ${CMAKE_BINARY_DIR}/install/${lib}Config.cmake
    ${CMAKE_BINARY_DIR}/install/${lib}ConfigVersion.cmake
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/${lib} COMPONENT ${HOSTLIBS_DEV_COMPONENT})

  # pkg-config, relocatable: the prefix is found from the file's own place.
  file(RELATIVE_PATH HOSTLIBS_PC_UP ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
  string(REGEX REPLACE "/$" "" HOSTLIBS_PC_UP "${HOSTLIBS_PC_UP}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/install/${lib}.pc.in
    ${CMAKE_BINARY_DIR}/install/${lib}.pc @ONLY)
  install(FILES ${CMAKE_BINARY_DIR}/install/${lib}.pc
    DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT ${HOSTLIBS_DEV_COMPONENT})
endforeach()

install(TARGETS textfind-build textfind-check textfind-search
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tools)
# The README and the demo catalogue go with the tools, as their example.
install(FILES ${PROJECT_SOURCE_DIR}/README.md
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/textfind-tools COMPONENT tools)
install(FILES ${PROJECT_SOURCE_DIR}/tools/demo/catalogue.tsv ${PROJECT_SOURCE_DIR}/tools/demo/noused.txt
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/textfind-tools/examples COMPONENT tools)

include(cmake/Package.cmake)
