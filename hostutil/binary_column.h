// File <-> long binary column transfer over the host's ODBC connection.
#pragma once

#include <cstddef>
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
int32_t saveFile(SQLHDBC connection, const char *sql, const char *path);

// Buffers larger than `bytes` are refused exactly as if memory had run out.
// Lets tests reach the out-of-memory paths; the default is no limit.
void setBufferLimit(std::size_t bytes);

}  // namespace hostutil::binary_column
