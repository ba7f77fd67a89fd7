/* textfind: full-text search over a catalogue.
 *
 * The library reads three files from the process's current directory:
 * "opere.idb" (word index), "opere.ddb" (record store) and "noused.txt"
 * (stop words). A query fills the library's one piece of state, the result
 * set; the host then drains it with ResSet, one record text per call.
 *
 * Call the exports from one thread, one call at a time.
 *
 * Memory exhaustion: if ScanDB runs out of memory while it builds the lists,
 * it returns -1, the same code as a failed handle creation, and the result
 * set is left exactly as it was before the call (a query builds its result
 * aside and swaps it in only when complete). Like every -1, it means "this
 * query did not run": records of an earlier query that were not yet taken
 * remain available to ResSet. ResSet and FindDB allocate nothing.
 *
 * Null pointers: ScanDB reads a null query or selector as an empty string;
 * ResSet and FindDB given a null buffer return -1 and change nothing.
 *
 * Draining: call ResSet until it returns 0, and also stop on -1 and -2.
 * Those mean the record store could not be used, and the entry stays in
 * the set, so a loop that goes on would never end:
 *
 *     for (int32_t rc; (rc = ResSet(text)) != 0;) {
 *         if (rc == -1 || rc == -2) break;   // store unusable: stop
 *         if (rc == 1) show(text);           // -3: record missing, skipped
 *     }
 *
 * Damaged stores. The store builder (textfind-build) writes both files with
 * page checksums, so damage reads as an error rather than as data, and
 * records in "opere.ddb", under the key "longest-text" (12 bytes: no record
 * key has other than 4), the length of the longest text as 4 bytes, least
 * significant first. Berkeley DB checks every page of a store with
 * checksums as it reads it, so such a store only ever hands back texts as
 * they were written. In a store without checksums that holds the entry,
 * ResSet and FindDB refuse a record longer than it with -3, buffer
 * untouched, whatever a damaged length field claims; a damaged entry there
 * refuses every record. Stores with neither (built elsewhere) are read as
 * before. A word whose lookup fails (not
 * merely absent) makes ScanDB return -2: the query did not run and the
 * result set is unchanged. Berkeley DB's own messages are dropped, and a
 * lookup that makes it declare its environment dead still releases all it
 * took. Some damage makes Berkeley DB itself loop or crash inside a lookup;
 * the library cannot prevent that, and textfind-check finds such stores.
 */
#ifndef TEXTFIND_H
#define TEXTFIND_H

#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define TEXTFIND_CALL __stdcall
#else
#define TEXTFIND_CALL
#endif

#if defined(TEXTFIND_BUILDING) && !defined(_WIN32)
#define TEXTFIND_API __attribute__((visibility("default")))
#else
#define TEXTFIND_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Results of ScanDB other than a count of 0 or more. */
enum TextfindScanResult {
    /* No database handle could be created, or memory ran out (see above);
     * the result set is unchanged. */
    TEXTFIND_SCAN_NO_HANDLE = -1,
    /* "opere.idb" could not be opened or read (a damaged page); the result
     * set is unchanged. */
    TEXTFIND_SCAN_NOT_OPENED = -2
};

/* Evaluates `query` and replaces the result set with the matching record
 * numbers, ascending. `mode` 1 keeps records holding every word; any other
 * value keeps records holding any word. `selector` filters postings by their
 * category code.
 *
 * Returns the number of entries in the result set (0 or more; a record held
 * several times counts each time), or a TextfindScanResult. */
TEXTFIND_API int32_t TEXTFIND_CALL ScanDB(const char *query, int32_t mode, const char *selector);

/* Results of ResSet and FindDB. */
enum TextfindRecordResult {
    TEXTFIND_RECORD_DELIVERED = 1,
    /* ResSet only: the result set is empty. */
    TEXTFIND_RESULT_SET_EMPTY = 0,
    /* No database handle could be created, or a null buffer. */
    TEXTFIND_RECORD_NO_HANDLE = -1,
    /* "opere.ddb" could not be opened; ResSet keeps the entry in the set. */
    TEXTFIND_RECORD_NOT_OPENED = -2,
    /* The record is not in the store, cannot be read, or is longer than the
     * store's longest text (see above); ResSet has removed the entry. */
    TEXTFIND_RECORD_MISSING = -3
};

/* Takes the highest record number out of the result set and writes that
 * record's text, NUL-terminated, into `buffer`: exactly n+1 bytes for a text
 * of n bytes. On any result other than 1 the buffer is untouched. The library
 * cannot know the buffer's size: it must hold the store's longest text plus
 * one byte (textfind-build prints that length).
 *
 * Returns a TextfindRecordResult: 1 delivered; 0 result set empty; -1 no
 * handle; -2 "opere.ddb" could not be opened (the entry stays in the set);
 * -3 the record is not in the store (the entry has been removed). */
TEXTFIND_API int32_t TEXTFIND_CALL ResSet(char *buffer);

/* Writes the text of record `record` into `buffer` as ResSet does, without
 * touching the result set. Returns 1, -1, -2 or -3 as ResSet. */
TEXTFIND_API int32_t TEXTFIND_CALL FindDB(int32_t record, char *buffer);

#ifdef __cplusplus
}
#endif

#endif /* TEXTFIND_H */
