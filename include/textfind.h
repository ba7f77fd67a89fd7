/* textfind: full-text search over a catalogue.
 *
 * The library reads three files from the process's current directory:
 * "opere.idb" (word index), "opere.ddb" (record store) and "noused.txt"
 * (stop words). A query fills the library's one piece of state, the result
 * set; the host then drains it with ResSet, one record text per call.
 *
 * Call the exports from one thread, one call at a time.
 *
 * Each call opens the store it reads as Berkeley DB's flags 0 ask (for
 * reading and writing, though nothing is ever written); a store whose file
 * or volume is read-only (a CD, a read-only share or mount) is opened
 * read-only instead, with the same answers.
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
 * The proof of a store folder. The store builder (textfind-build) writes
 * beside the two stores "opere.sum": for each store its Berkeley DB file
 * identifier, length and digest over all its bytes (XXH64), and the length
 * of the longest text. The first call of a process that meets a pair of
 * stores (known by the stamps of the two stores and the proof: device,
 * inode, length and times, or on Windows length and times; a process keeps
 * the last 8 pairs it met, and meets a ninth anew) checks it
 * before any lookup, reading both files whole once (about the time it takes
 * to read them, 80 ms for 220 MB with the page cache warm); later calls
 * pay two file stamps. Then:
 *  - both stores exactly as the builder wrote them: read, and every text
 *    is held to the proof's longest text;
 *  - a store that is not (damaged, or edited since), or two stores of
 *    different builds (the proof names one and not the other): the pair is
 *    not read at all. ScanDB returns -2 with the result set unchanged;
 *    ResSet and FindDB return -2 and the entry stays;
 *  - a proof that names neither store (both were replaced by copying only
 *    the two files), or no proof at all (stores of another writer, or of an
 *    older builder), or a damaged proof: the stores are read as any
 *    writer's are.
 * What the proof does not see: damage that happens to a file while a
 * process holds it as met and leaves its stamp as it was, and stores made
 * to look right on purpose (the digest guards against damage, not forgery).
 *
 * The longest text. The record store holds under the key "longest-text"
 * (12 bytes: no record key has other than 4) the length of its longest
 * text, 4 bytes, least significant first; the builder writes it, and
 * textfind-build and textfind-check print the buffer size it asks of a
 * host. Wherever the entry is present, ResSet and FindDB refuse a record
 * longer than it with -3, buffer untouched, whatever wrote the record; a
 * damaged entry refuses every record. It is read once per pair. A store
 * without it (built elsewhere) delivers texts as they are stored.
 *
 * Damage in stores without a proof. A word whose lookup fails (not merely
 * absent) makes ScanDB return -2: the query did not run and the result set
 * is unchanged. Berkeley DB's own messages are dropped, and a lookup that
 * makes it declare its environment dead still releases all it took. Some
 * damage makes Berkeley DB itself loop or crash inside a lookup; the
 * library cannot prevent that in stores it cannot prove, and textfind-check
 * finds such stores.
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
    /* "opere.idb" could not be opened or read (a damaged page), or the proof
     * refuses the pair (see above); the result set is unchanged. */
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
    /* "opere.ddb" could not be opened, or the proof refuses the pair; ResSet
     * keeps the entry in the set. */
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
