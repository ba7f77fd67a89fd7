/* hostutil: independent services for a desktop host.
 *
 * Every service export takes fixed arguments and returns a 32-bit status
 * code, named by the enum above its declaration; no export keeps state
 * between calls (the two Linux host hooks at the end only install a
 * callback). Output buffers belong to the host, which
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
 * in message boxes captioned "Prn Bypass", each text at most 127 characters
 * (longer ones are cut); a null name shows as "(null)", and an error code
 * the system has no text for shows as "Errore di sistema <code>".
 * Returns 1 when the whole file went to the job and the spooler completed
 * it, else 0. A file that stops reading early counts as ended: its job is
 * ended and the result is 1. A job the spooler cannot complete (it went
 * away before the end, or the output file cannot be written out) shows
 * "Trasmissione dati alla stampante fallito" and gives 0, as a failed write
 * does; so does a server that went away before its answer to the document
 * (no answer is no success).
 * An output file is written as ReplChar writes its copy, its room reserved
 * from the length of the file to print. Case by case:
 *  - a file the caller may not write, a link loop or a missing folder: the
 *    document cannot start (its two boxes), 0, nothing created or changed;
 *  - a writable file in a folder the caller cannot write, a sticky folder,
 *    bind-mounted or under a long name: written in place;
 *  - inode, owner, group, mode, ACLs and hard links kept; links followed;
 *  - a device, a pipe or a FIFO: written directly;
 *  - a disk or the file-size limit without room for the job: the document
 *    cannot start, 0, the file whole and the volume's free space as it was;
 *  - the file to print is a pipe (its length unknown), or the file system
 *    cannot reserve: written as a plain open would;
 *  - a file the job created and could not complete is removed;
 *  - on Windows the spooler writes the output file itself, under its rules. */
enum HostutilPrintFileResult { HOSTUTIL_PRINT_DONE = 1, HOSTUTIL_PRINT_FAILED = 0 };
HOSTUTIL_API int32_t HOSTUTIL_CALL PrintFile(const char *printerName, const char *outputFile,
                                             const char *filePath);

/* ---- Printer selection ------------------------------------------------- */

/* The host's printer setup record, byte-packed on every build (no gaps,
 * little-endian). 32-bit builds: 26 bytes, P = 4. 64-bit builds: the three
 * buffer addresses are native 64-bit pointers and the device context a
 * 64-bit handle, 42 bytes, P = 8.
 *   offset 0            deviceName    host buffer for the device name
 *   offset P            driverName    host buffer for the driver name
 *   offset 2P           portName      host buffer for the port name
 *   offset 3P           copies        uint16, in/out
 *   offset 3P+2         fromPage      uint16, in/out (also the lowest page)
 *   offset 3P+4         toPage        uint16, in/out (also the highest page)
 *   offset 3P+6         flags         uint32, in only, never written back
 *   offset 3P+10        deviceContext handle, out; belongs to the host */
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
 * user confirmed: the three names are written into their buffers, each taken
 * to hold 129 bytes (a longer name is cut to 128 characters and terminated;
 * a null buffer address is skipped), and copies, page range and device
 * context are updated; `flags` is never written back. Returns 0 when the
 * dialog was cancelled or failed, or `record` is null: the record and its
 * buffers are untouched. */
enum HostutilSetupDialogResult { HOSTUTIL_DIALOG_CANCELLED = 0 };
HOSTUTIL_API int32_t HOSTUTIL_CALL SetupDialog(HostutilPrinterSetup *record);

/* Writes the default printer's device, driver and port names into the three
 * buffers (at least 129 bytes each; a null address is skipped), each cut to
 * 128 characters; all three are empty when there is no default printer.
 * Always returns 1. On Windows the names come from the profile entry
 * "device,driver,port", split into runs of 1 to 128 non-comma characters
 * with exactly one comma between them; the split stops at an empty part or a
 * missing comma, and a buffer without its part is empty. On Linux they are
 * the CUPS default destination's name, make-and-model and device URI, as
 * CUPS gives them (a comma inside one moves nothing). */
enum HostutilDefaultPrinterResult { HOSTUTIL_DEFAULT_PRINTER_DONE = 1 };
HOSTUTIL_API int32_t HOSTUTIL_CALL DefaultPrinter(char *deviceBuffer, char *driverBuffer,
                                                  char *portBuffer);

/* ---- File <-> long binary column over ODBC ----------------------------- */

/* The host's ODBC connection handle (SQLHDBC); null means no connection. */
typedef void *HostutilConnection;

/* Executes `sql` with the bytes of file `path` as its first parameter, sent
 * at execution time with the file's length announced. The whole file is held
 * in memory once.
 * Returns 0 (executed; also when it touched no row), -1 null connection,
 * -2 no statement could be allocated, -3 the file cannot be read, -4 the
 * statement cannot be prepared, -5 it did not run: executing it or sending
 * the value failed (a constraint it breaks, a server that went away).
 * -3 also covers a file that cannot be held in memory (its buffer cannot be
 * allocated) and one that yields fewer bytes than its length: the statement
 * is then neither prepared nor executed. */
enum HostutilLoadBinResult {
    HOSTUTIL_LOAD_DONE = 0,
    HOSTUTIL_LOAD_NO_CONNECTION = -1,
    HOSTUTIL_LOAD_NO_STATEMENT = -2,
    HOSTUTIL_LOAD_FILE_UNREADABLE = -3,
    HOSTUTIL_LOAD_NOT_PREPARED = -4,
    HOSTUTIL_LOAD_NOT_EXECUTED = -5
};
HOSTUTIL_API int32_t HOSTUTIL_CALL LoadBin(HostutilConnection connection, const char *sql,
                                           const char *path);

/* Executes query `sql` and writes the first column of each fetched row to
 * `path`, which then holds the last row's value; no row leaves the file
 * untouched. Returns 0, -1 null connection, -2 no statement, -3 the query
 * failed, -4 the value could not be fetched, -5 the value's length could not
 * be learnt (NULL, empty or unknown), -6 the file cannot be written or the
 * write fell short.
 * Each row's value is written over the file as ReplChar writes its copy:
 * opened as a plain open for writing would open it, its room reserved from
 * the value's length before the first byte changes, its length set at the
 * end. Case by case:
 *  - a file the caller may not write: -6, the file unchanged;
 *  - a writable file in a folder the caller cannot write, in a sticky folder,
 *    bind-mounted or under a long name: written in place;
 *  - inode, owner, group, mode, ACLs and hard links kept; links followed;
 *  - a symbolic-link loop or a missing folder: -6, nothing created;
 *  - a device, a pipe or a FIFO: written directly;
 *  - a disk, a quota or the file-size limit without room for the value:
 *    -6, the file (the previous row's value, if any) whole and the volume's
 *    free space as it was; room for the value alone is enough;
 *  - where the file system cannot reserve room: written as a plain open
 *    would, so a full disk then leaves the value cut short (-6);
 *  - a file the call created and could not complete is removed;
 *  - on Windows: a read-only attribute gives -6; a file another process
 *    holds open is written when its sharing allows writers.
 * A value whose buffer cannot be allocated gives -4 before any file is
 * written. */
enum HostutilSaveBinResult {
    HOSTUTIL_SAVE_DONE = 0,
    HOSTUTIL_SAVE_NO_CONNECTION = -1,
    HOSTUTIL_SAVE_NO_STATEMENT = -2,
    HOSTUTIL_SAVE_QUERY_FAILED = -3,
    HOSTUTIL_SAVE_VALUE_NOT_FETCHED = -4,
    HOSTUTIL_SAVE_NO_LENGTH = -5,
    HOSTUTIL_SAVE_FILE_UNWRITABLE = -6
};
HOSTUTIL_API int32_t HOSTUTIL_CALL SaveBin(HostutilConnection connection, const char *sql,
                                           const char *path);

/* ---- Memory-variable file lookup --------------------------------------- */

/* Looks variable `name` up in the first 10000 bytes of memory-variable file
 * `path`: the first place where the name's bytes and its NUL occur (byte for
 * byte, also inside another entry) with two more bytes after them is taken
 * as the entry, its type byte 11 bytes and its value 32 bytes further on.
 * Character values (type 0xC3) are written NUL-terminated to `out`, which
 * must hold the longest value plus its NUL; logical values (0xCC) as "T" or
 * "F" and a NUL; other types write nothing.
 * An entry whose type byte, logical value byte or character value with its
 * NUL lies beyond the bytes read (a file cut short, a value across the
 * 10000-byte limit) counts as not found: -1, `out` untouched.
 * Returns 1 found, -1 not found (also for a null name), -2 the file cannot
 * be opened (also for a null path), -3 the file is empty or unreadable. */
enum HostutilVedivarResult {
    HOSTUTIL_VARIABLE_FOUND = 1,
    HOSTUTIL_VARIABLE_NOT_FOUND = -1,
    HOSTUTIL_VARIABLE_FILE_NOT_OPENED = -2,
    HOSTUTIL_VARIABLE_FILE_EMPTY = -3
};
HOSTUTIL_API int32_t HOSTUTIL_CALL VEDIVAR(const char *path, const char *name, char *out);

/* ---- Byte replacement in a text file ----------------------------------- */

/* Copies text file `source` to `destination` replacing each byte equal to
 * the low 8 bits of `fromByte` with the low 8 bits of `toByte`. Text rules on
 * every platform: reading, CR LF is one LF, a lone CR stays and 0x1A ends
 * the input; writing, each LF becomes CR LF.
 * Returns 1 when the whole source was copied, 0 otherwise: the source
 * cannot be opened or is a folder (`destination` is then neither created nor
 * changed), both names lead to the same file (also through links; the file
 * is left as it was), the destination cannot be opened for writing, or
 * reading or writing fails during the copy.
 * The destination is opened as a plain open for writing would open it, but
 * not emptied: its earlier content stays until the copy's room is reserved
 * (a first pass over the source measures it), then the copy is written over
 * it and the length set. Case by case:
 *  - a file the caller may not write (read-only, or another user's without
 *    write permission), whatever the folder allows: 0, the file unchanged;
 *  - a file the caller may write in a folder the caller may not write, in a
 *    sticky folder, bind-mounted, or with a name up to the system's limit:
 *    1, written in place;
 *  - the file keeps its inode, owner, group, mode, ACLs and hard links
 *    (every name shows the copy); a symbolic link is followed and stays;
 *  - a symbolic-link loop or a missing folder: 0, nothing created;
 *  - a device, a pipe or a FIFO (/dev/stdout, /dev/fd/N, /proc/self/fd/N,
 *    NUL on Windows): written directly, 1 when all was taken;
 *  - a disk or quota without room for the copy: 0 before any byte changes,
 *    the file as it was and the volume's free space as it was (sparse files
 *    too); room for the copy though not for old and new together is enough;
 *  - the copy is of the source as the first pass measured it: bytes the
 *    source gains during the call are not copied;
 *  - the process's file-size limit (ulimit -f) is a disk without room, for
 *    new and empty destinations too: 0, and the limit's signal is never
 *    raised;
 *  - where the file system cannot reserve room (or the source is a pipe
 *    that cannot be read twice), the copy is written as a plain open would
 *    write it, and a full disk then leaves the copy cut short (0);
 *  - a destination that did not exist and could not be completed is removed,
 *    also one made through a symbolic link that led nowhere; an existing one
 *    whose writing failed midway (a read error) is cut where the writing
 *    stopped;
 *  - on Windows: a read-only attribute refuses (0); a file another process
 *    holds open is written when its sharing allows writers, else 0. */
enum HostutilReplCharResult { HOSTUTIL_REPLACE_DONE = 1, HOSTUTIL_REPLACE_FAILED = 0 };
HOSTUTIL_API int32_t HOSTUTIL_CALL ReplChar(const char *source, const char *destination,
                                            int32_t fromByte, int32_t toByte);

/* ---- List sorting ------------------------------------------------------ */

/* Sorts "number:text" items of a comma-separated list by number and writes
 * the texts, comma-separated, to `out`. The number is read as a C integer
 * (leading blanks, a sign, digits; wraps modulo 2^32; 0 without digits) and
 * the first ':' of an item splits it. Of items with the same number the
 * later one's text is kept. An item without ':' (an empty one too) keys its
 * leading number to an empty text. Writes the result and its NUL, no more;
 * the result is never longer than the list.
 * Returns 0, or -1 (`out` untouched) for an empty or null list, a null
 * `out` or a lack of memory. SortList2 returns the same codes. */
enum HostutilSortListResult { HOSTUTIL_SORT_DONE = 0, HOSTUTIL_SORT_EMPTY = -1 };
HOSTUTIL_API int32_t HOSTUTIL_CALL SortList(const char *list, char *out);

/* Sorts the items of a comma-separated list byte-wise (bytes unsigned, a
 * prefix before its extensions, no case folding), dropping repeats, and
 * writes them comma-separated to `out`: the result and its NUL, no more,
 * never longer than the list.
 * Returns 0, or -1 (`out` untouched) for an empty or null list, a null
 * `out` or a lack of memory. */
HOSTUTIL_API int32_t HOSTUTIL_CALL SortList2(const char *list, char *out);

/* ---- Process launch and clock ------------------------------------------ */

/* Starts `programPath` and waits for it to end. A path without "\", "/" or
 * ":" is looked for in the current folder only (never on the search path);
 * a file name without "." gets the first of ".com", ".exe", ".bat", ".cmd"
 * that exists. The command line is `cmdArg0` followed by the later words
 * joined with single spaces, no quoting; the word list ends at the first
 * null, and a null or empty `cmdArg0` gives an empty command line.
 * On Linux the child gets the command line cut at every space as its
 * arguments, empty pieces included ("a  b" gives "a", "", "b"; an empty
 * command line one empty argument). Returns 0 when the program ran,
 * whatever its exit code, else the errno value of the failure (ENOENT for a
 * missing program, EACCES for a folder, EINVAL for a null `programPath`). */
enum HostutilRunPrgResult { HOSTUTIL_RUN_DONE = 0 };
HOSTUTIL_API int32_t HOSTUTIL_CALL RunPrg(const char *programPath, const char *cmdArg0,
                                          const char *cmdArg1, const char *cmdArg2,
                                          const char *cmdArg3, const char *cmdArg4);

/* Sets the local clock. year, month and day > 0 replace their field; hour
 * and minute >= 0 replace theirs; only the low 16 bits of each argument are
 * read, as a signed value; seconds and milliseconds stay as read. Returns 1
 * when the clock was set, else 0 (an impossible date or time, a year outside
 * 1601 to 30827, or no right to change the clock: nothing changes). */
enum HostutilSetNewTimeResult { HOSTUTIL_TIME_SET = 1, HOSTUTIL_TIME_REFUSED = 0 };
HOSTUTIL_API int32_t HOSTUTIL_CALL SetNewTime(int32_t year, int32_t month, int32_t day,
                                              int32_t hour, int32_t minute);

#ifndef _WIN32
/* ---- Linux host hooks -------------------------------------------------- */

/* Receives each message box of PrintFile: `caption` and `text` are valid
 * only during the call. Without a handler the boxes are not shown at all
 * (PrintFile's result still tells the failure). */
typedef void (*HostutilMessageHandler)(const char *caption, const char *text);

/* Installs `handler`; null restores the default. */
HOSTUTIL_API void HOSTUTIL_CALL SetMessageHandler(HostutilMessageHandler handler);

/* What SetupDialog asks of the host's print dialog. */
typedef struct HostutilDialogRequest {
    uint32_t flags;         /* in: the setup record's flags */
    uint16_t copies;        /* in/out: copies shown, then chosen */
    uint16_t fromPage;      /* in/out: first page shown, then chosen */
    uint16_t toPage;        /* in/out: last page shown, then chosen */
    uint16_t minPage;       /* in: lowest page the dialog may accept */
    uint16_t maxPage;       /* in: highest page the dialog may accept */
    const char *deviceName; /* out: the chosen printer's name */
    const char *driverName; /* out: its driver name */
    const char *portName;   /* out: its port (output) name */
    void *deviceContext;    /* out: handed to the host as is; may be null */
} HostutilDialogRequest;

/* The dialog: shows the choice modally and returns nonzero when the user
 * confirmed, having set the out fields (a null name counts as empty). The
 * three names must still be valid when the provider returns; SetupDialog
 * copies them at once and keeps no pointer to them. Returning 0 means
 * cancelled or failed: the out fields are ignored and the host's record
 * stays as it was. */
typedef int32_t (*HostutilDialogProvider)(HostutilDialogRequest *request);

/* Installs `provider`; null removes it, and SetupDialog then returns 0
 * without touching the record. */
HOSTUTIL_API void HOSTUTIL_CALL SetDialogProvider(HostutilDialogProvider provider);
#endif

#ifdef __cplusplus
}
#endif

#endif /* HOSTUTIL_H */
