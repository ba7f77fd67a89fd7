// File <-> long binary column transfer over the host's ODBC connection.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#endif
#include <sql.h>
#include <sqlext.h>

namespace hostutil::binary_column {

// Results of loadFile (export LoadBin).
enum LoadResult : int32_t {
    kLoaded = 0,  // prepared and executed; execution errors are not reported
    kLoadNoConnection = -1,
    kLoadNoStatement = -2,
    kLoadFileUnreadable = -3,  // cannot be opened, read whole, or held in memory
    kLoadNotPrepared = -4,
};

// Results of saveFile (export SaveBin).
enum SaveResult : int32_t {
    kSaved = 0,  // every fetched row was written, or no row came
    kSaveNoConnection = -1,
    kSaveNoStatement = -2,
    kSaveQueryFailed = -3,
    kSaveValueNotFetched = -4,  // includes a value too large to hold in memory
    kSaveNoLength = -5,         // NULL, empty, or a length the driver cannot tell
    kSaveFileUnwritable = -6,   // cannot be opened, or the write fell short
};

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
