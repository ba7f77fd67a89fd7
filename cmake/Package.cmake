# Debian packages made with CPack from the install components: libtextfind1
# and libhostutil1 (runtime), libtextfind-hostutil-dev (headers, CMake and
# pkg-config files), textfind-tools. `make package` runs it.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME textfind-hostutil)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "hostlibs maintainers")
set(CPACK_PACKAGE_CONTACT "hostlibs maintainers <maintainers@users.noreply.c-seed-54576e60.example>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL libtextfind libhostutil dev tools)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# Dependencies on system libraries come from dpkg-shlibdeps; the runtime
# packages say what they provide, for the packages built against them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

# The runtime packages let dpkg run ldconfig through its trigger, as Debian
# asks of shared libraries, rather than from scripts of their own.
file(WRITE ${CMAKE_BINARY_DIR}/package-control/triggers "activate-noawait ldconfig\n")
set(CPACK_DEBIAN_LIBTEXTFIND_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/package-control/triggers)
set(CPACK_DEBIAN_LIBHOSTUTIL_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/package-control/triggers)

set(exact "(= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_LIBTEXTFIND_PACKAGE_NAME libtextfind${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_LIBHOSTUTIL_PACKAGE_NAME libhostutil${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libtextfind-hostutil-dev)
set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
  "libtextfind${PROJECT_VERSION_MAJOR} ${exact}, libhostutil${PROJECT_VERSION_MAJOR} ${exact}")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME textfind-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
# textfind-search links the library, found in the build tree; that package
# is built in the same run, so the dependency on it is written here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_LIBRARY_OUTPUT_DIRECTORY})
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "libtextfind${PROJECT_VERSION_MAJOR} ${exact}")

set(CPACK_COMPONENT_LIBTEXTFIND_DESCRIPTION
  "full-text search over a catalogue in Berkeley DB stores\nWords of a query are normalised, stop words dropped and each looked up in\na B-tree word index; postings are filtered by category and combined as\nall or any words, and the host drains the record texts one call at a time.")
set(CPACK_COMPONENT_LIBHOSTUTIL_DESCRIPTION
  "services for a desktop host application\nRaw printing through the spooler, the print dialog and the default\nprinter, file to long binary column over ODBC, memory-variable lookup,\nbyte replacement in text files, list sorting, program launch and clock\nsetting.")
set(CPACK_COMPONENT_DEV_DESCRIPTION
  "development files of textfind and hostutil\nThe C headers with every export and its result codes, the CMake package\nconfiguration (find_package(textfind), find_package(hostutil)) and the\npkg-config files.")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION
  "tools to build, check and search textfind stores\ntextfind-build makes the word index and the record store from a\ntab-separated or CSV catalogue, textfind-check reports what is wrong with\na folder of stores, textfind-search runs a query through the library.")

# Each package carries its copyright notice and a changelog, as Debian asks.
string(TIMESTAMP HOSTLIBS_CHANGELOG_DATE "%a, %d %b %Y 00:00:00 +0000" UTC)
foreach(component libtextfind libhostutil dev tools)
  string(TOUPPER ${component} upper)
  set(package ${CPACK_DEBIAN_${upper}_PACKAGE_NAME})
  set(HOSTLIBS_PACKAGE ${package})
  set(doc ${CMAKE_BINARY_DIR}/package-doc/${package})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/install/copyright.in ${doc}/copyright @ONLY)
  # A native package (its version has no Debian revision): changelog.gz.
  configure_file(${PROJECT_SOURCE_DIR}/cmake/install/changelog.in ${doc}/changelog @ONLY)
  add_custom_command(OUTPUT ${doc}/changelog.gz
    COMMAND gzip -9nf -k ${doc}/changelog
    DEPENDS ${doc}/changelog)
  list(APPEND package_docs ${doc}/changelog.gz)
  install(FILES ${doc}/copyright ${doc}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/${package} COMPONENT ${component})
endforeach()
add_custom_target(package_docs ALL DEPENDS ${package_docs})

include(CPack)
