# odbc_write_config(<dir>): writes <dir>/odbcinst.ini naming the SQLite3 ODBC
# driver and psqlODBC by absolute path, and an empty <dir>/odbc.ini. Point
# ODBCSYSINI at <dir> and ODBCINI at <dir>/odbc.ini so that nothing under /etc
# is read. CommLog=0: the packaged psqlODBC entries log every connection.
set(_odbc_driver_dirs
  /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/odbc /usr/lib/odbc /usr/lib64 /usr/local/lib)
find_file(ODBC_SQLITE3_DRIVER NAMES libsqlite3odbc.so PATHS ${_odbc_driver_dirs}
          NO_DEFAULT_PATH REQUIRED)
find_file(ODBC_POSTGRES_DRIVER NAMES psqlodbcw.so PATHS ${_odbc_driver_dirs}
          NO_DEFAULT_PATH REQUIRED)

function(odbc_write_config dir)
  file(WRITE ${dir}/odbcinst.ini
"[ODBC]
Trace=No

[SQLite3]
Driver=${ODBC_SQLITE3_DRIVER}

[PostgreSQL]
Driver=${ODBC_POSTGRES_DRIVER}
CommLog=0
Debug=0
")
  file(WRITE ${dir}/odbc.ini "")
endfunction()
