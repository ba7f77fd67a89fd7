# Third-party libraries, found the same way for every target that needs them.
if(WIN32)
  # Cross builds get Berkeley DB from the cached static build (see cmake/windows).
  set(BDB_PREFIX "" CACHE PATH "Prefix of a static Berkeley DB build for this target")
  add_library(bdb STATIC IMPORTED GLOBAL)
  set_target_properties(bdb PROPERTIES
    IMPORTED_LOCATION ${BDB_PREFIX}/lib/libdb.a
    INTERFACE_INCLUDE_DIRECTORIES ${BDB_PREFIX}/include
    # The mingw build of Berkeley DB uses winpthread (linked statically).
    INTERFACE_LINK_LIBRARIES pthread)
else()
  find_path(BDB_INCLUDE_DIR db.h PATH_SUFFIXES db5.3 REQUIRED)
  find_library(BDB_LIBRARY NAMES db-5.3 db REQUIRED)
  add_library(bdb UNKNOWN IMPORTED GLOBAL)
  set_target_properties(bdb PROPERTIES
    IMPORTED_LOCATION ${BDB_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${BDB_INCLUDE_DIR})

  find_library(ODBC_LIBRARY NAMES odbc REQUIRED)
  find_path(ODBC_INCLUDE_DIR sql.h REQUIRED)
  add_library(odbc UNKNOWN IMPORTED GLOBAL)
  set_target_properties(odbc PROPERTIES
    IMPORTED_LOCATION ${ODBC_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${ODBC_INCLUDE_DIR})

  find_library(CUPS_LIBRARY NAMES cups REQUIRED)
  find_path(CUPS_INCLUDE_DIR cups/cups.h REQUIRED)
  add_library(cups UNKNOWN IMPORTED GLOBAL)
  set_target_properties(cups PROPERTIES
    IMPORTED_LOCATION ${CUPS_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${CUPS_INCLUDE_DIR})
endif()
