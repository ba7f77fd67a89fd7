// File <-> long binary column transfer over the host's ODBC connection.
#pragma once

#include <cstdint>

#include "hostutil.h"
#include "platform/odbc.h"

namespace hostutil::binary_column {

// Both return the codes of their export (HostutilLoadBinResult and
// HostutilSaveBinResult in hostutil.h).

// Executes `sql` with the whole file at `path` as the value of its first
// parameter marker, sent at execution time.
int32_t loadFile(SQLHDBC connection, const char *sql, const char *path);

// Executes query `sql`; each fetched row's first column replaces the file at
// `path`, so the file ends up holding the last row's value.
// Both take their buffers from the platform (platform::current().allocate).
int32_t saveFile(SQLHDBC connection, const char *sql, const char *path);

}  // namespace hostutil::binary_column
