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
 * Memory exhaustion: if a call runs out of memory (ScanDB building its
 * lists, any call vetting pages it meets for the first time), it returns
 * -1, the same code as a failed handle creation, and the result set is left
 * exactly as it was before the call (a query builds its result aside and
 * swaps it in only when complete; ResSet takes its entry only once the
 * record is delivered or missing). Like every -1, it means "this call did
 * not run": records of an earlier query that were not yet taken remain
 * available to ResSet.
 *
 * Null pointers: ScanDB reads a null query or selector as an empty string;
 * ResSet and FindDB given a null buffer return -1 and change nothing.
 *
 * Reading ahead: a ResSet that opens the record store also reads the next
 * entries' records (one, then doubling, up to 1,024 records or 4 MiB) and
 * keeps them in memory, with the stamps of the stores and the proof; later
 * calls deliver them while those stamps hold, and a new query, a changed
 * file or an error lets them go. No handle or file is kept between calls.
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
 * Every page vetted. Berkeley DB trusts the pages it reads: a damaged one
 * can make it loop, read past the page or crash. So before each lookup the
 * library walks the way Berkeley DB's search will take for that key (the
 * root, the internal pages its comparisons choose, the leaf, the overflow
 * pages of any key compared and of the item found) and vets each page on
 * it: its number is its place, its type and level fit its place in the
 * tree, every item lies inside it, children are in range one level down,
 * overflow chains are in range, of the item's length and end there. A page
 * found sound is remembered (a bit a page) for as long as its file keeps
 * its stamp (device, inode, length and times; on Windows length and
 * times), so each page is vetted once per process; the internal pages are
 * kept too, up to 4 MiB. A call whose pages are not all sound is refused as
 * a refused pair is (below): Berkeley DB never reads them.
 *
 * The proof of a store folder. The store builder (textfind-build) writes
 * beside the two stores "opere.sum": for each store its Berkeley DB file
 * identifier, page size and number of pages, the length of the longest
 * text, and a digest (XXH64) of every page, bound to the page's number.
 * textfind-check --prove writes the same for sound stores of another writer.
 * The first call of a process that meets a pair (known by the stamps of the
 * two stores and the proof; a process keeps the last 8 pairs it met, and
 * meets a ninth anew) reads the proof's first 80 bytes, the stores'
 * identifiers and lengths; each page it then vets is also checked against
 * its digest, so the first call costs what it reads, not the stores' size.
 * Then:
 *  - a pair the proof names, at its lengths: read; every page a call reads
 *    is checked against its digest when first read, and a page that is not
 *    what the builder wrote (damaged, edited, swapped, zero-filled) refuses
 *    the calls that read it; every text is held to the proof's longest
 *    text;
 *  - two stores of different builds (the proof names one and not the
 *    other), or a store of another length: the pair is not read at all;
 *  - a proof that names neither store (both were replaced by copying only
 *    the two files), or no proof at all (stores of another writer), or a
 *    damaged proof: the stores are read as any writer's are, their pages
 *    vetted as above.
 * A refused call: ScanDB returns -2 with the result set unchanged; ResSet
 * and FindDB return -2 and the entry stays. A proof of the earlier form
 * (whole files: each store's length and digest over all its bytes) is still
 * read: the first call of a process reads both stores whole to check it
 * (about the time it takes to read them); textfind-check --prove rewrites
 * it. What a proof does not see: damage that happens to a page after a
 * process has vetted it and leaves its file's stamp as it was, and stores
 * made to look right on purpose (the digest guards against damage, not
 * forgery).
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
 * makes it declare its environment dead still releases all it took. A
 * damaged text inside a sound page is delivered as it is stored: only a
 * proof tells it.
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
    /* "opere.ddb" could not be opened, a page the record is read from is not
     * sound, or the proof refuses the pair; ResSet keeps the entry in the
     * set. */
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
