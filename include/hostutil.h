/* hostutil: independent services for a desktop host.
 *
 * Every export takes fixed arguments and returns a 32-bit status code; no
 * export keeps state between calls. Output buffers belong to the host, which
 * must size them: no export receives a buffer size.
 *
 * Call the exports from one thread, one call at a time.
 */
#ifndef HOSTUTIL_H
#define HOSTUTIL_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define HOSTUTIL_CALL __stdcall
#else
#define HOSTUTIL_CALL
#endif

#if defined(HOSTUTIL_BUILDING) && !defined(_WIN32)
#define HOSTUTIL_API __attribute__((visibility("default")))
#else
#define HOSTUTIL_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Raw file printing ------------------------------------------------- */

/* Sends the bytes of `filePath` unchanged to printer `printerName` as one
 * job named after the file. A non-null `outputFile` makes the spooler write
 * the job to that file instead of the device. Failures are shown to the user
 * in message boxes captioned "Prn Bypass".
 * Returns 1 when the whole file went to the job, else 0. */
HOSTUTIL_API int32_t HOSTUTIL_CALL PrintFile(const char *printerName,
                                             const char *outputFile,
                                             const char *filePath);

/* ---- Printer selection ------------------------------------------------- */

/* The host's printer setup record. Byte-packed on every build: 26 bytes on
 * 32-bit builds; on 64-bit builds the three buffer addresses and the device
 * context are native 64-bit values, 42 bytes in all:
 *   offset 0            deviceName    host buffer for the device name
 *   offset P            driverName    host buffer for the driver name
 *   offset 2P           portName      host buffer for the port name
 *   offset 3P           copies        in/out
 *   offset 3P+2         fromPage      in/out
 *   offset 3P+4         toPage        in/out
 *   offset 3P+6         flags         in only, never written back
 *   offset 3P+10        deviceContext out
 * where P is the size of a pointer (4 or 8). */
#pragma pack(push, 1)
typedef struct HostutilPrinterSetup {
    char *deviceName;
    char *driverName;
    char *portName;
    uint16_t copies;
    uint16_t fromPage;
    uint16_t toPage;
    uint32_t flags;
    void *deviceContext;
} HostutilPrinterSetup;
#pragma pack(pop)

/* Shows the print dialog initialised from `record`. Returns nonzero when the
 * user confirmed (the record is updated, `flags` excepted), 0 when the dialog
 * was cancelled or failed (the record and its buffers are untouched). */
HOSTUTIL_API int32_t HOSTUTIL_CALL SetupDialog(HostutilPrinterSetup *record);

/* Writes the default printer's device, driver and port names into the three
 * buffers (at least 129 bytes each); empty strings when there is no default
 * printer. Always returns 1. */
HOSTUTIL_API int32_t HOSTUTIL_CALL DefaultPrinter(char *deviceBuffer,
                                                  char *driverBuffer,
                                                  char *portBuffer);

/* ---- File <-> long binary column over ODBC ----------------------------- */

/* The host's ODBC connection handle (SQLHDBC); null means no connection. */
typedef void *HostutilConnection;

/* Executes `sql` with the bytes of file `path` as its first parameter.
 * Returns 0 (prepared and executed; execution errors are not reported),
 * -1 null connection, -2 no statement could be allocated, -3 the file cannot
 * be read, -4 the statement cannot be prepared. */
HOSTUTIL_API int32_t HOSTUTIL_CALL LoadBin(HostutilConnection connection,
                                           const char *sql, const char *path);

/* Executes query `sql` and writes the first column of each fetched row to
 * `path`, which then holds the last row's value. Returns 0, -1 null
 * connection, -2 no statement, -3 the query failed, -4 the value could not
 * be fetched, -5 the value's length could not be learnt (NULL, empty or
 * unknown), -6 the file cannot be opened for writing. */
HOSTUTIL_API int32_t HOSTUTIL_CALL SaveBin(HostutilConnection connection,
                                           const char *sql, const char *path);

/* ---- Memory-variable file lookup --------------------------------------- */

/* Looks variable `name` up in the first 10000 bytes of memory-variable file
 * `path`. Character values are written NUL-terminated to `out`; logical
 * values as "T" or "F" and a NUL; other types write nothing.
 * Returns 1 found, -1 not found, -2 the file cannot be opened, -3 the file
 * is empty or unreadable. */
HOSTUTIL_API int32_t HOSTUTIL_CALL VEDIVAR(const char *path, const char *name,
                                           char *out);

/* ---- Byte replacement in a text file ----------------------------------- */

/* Copies text file `source` to `destination` (CR LF line ends, 0x1A ends the
 * input) replacing each byte equal to the low 8 bits of `fromByte` with the
 * low 8 bits of `toByte`. Returns 1 when copied, 0 when a file cannot be
 * opened. */
HOSTUTIL_API int32_t HOSTUTIL_CALL ReplChar(const char *source,
                                            const char *destination,
                                            int32_t fromByte, int32_t toByte);

/* ---- List sorting ------------------------------------------------------ */

/* Sorts "number:text" items of a comma-separated list by number and writes
 * the texts, comma-separated, to `out`. Returns 0, or -1 for an empty list
 * (`out` untouched). */
HOSTUTIL_API int32_t HOSTUTIL_CALL SortList(const char *list, char *out);

/* Sorts the items of a comma-separated list byte-wise, dropping repeats.
 * Returns 0, or -1 for an empty list (`out` untouched). */
HOSTUTIL_API int32_t HOSTUTIL_CALL SortList2(const char *list, char *out);

/* ---- Process launch and clock ------------------------------------------ */

/* Starts `programPath` with a command line built from up to five words (the
 * list ends at the first null) and waits for it to end. Returns 0 when the
 * program ran, else the errno value of the failure. */
HOSTUTIL_API int32_t HOSTUTIL_CALL RunPrg(const char *programPath,
                                          const char *cmdArg0,
                                          const char *cmdArg1,
                                          const char *cmdArg2,
                                          const char *cmdArg3,
                                          const char *cmdArg4);

/* Sets the local clock. year, month and day > 0 replace their field; hour
 * and minute >= 0 replace theirs; only the low 16 bits of each argument are
 * read, as a signed value. Returns 1 when the clock was set, else 0. */
HOSTUTIL_API int32_t HOSTUTIL_CALL SetNewTime(int32_t year, int32_t month,
                                              int32_t day, int32_t hour,
                                              int32_t minute);

#ifdef __cplusplus
}
#endif

#endif /* HOSTUTIL_H */
