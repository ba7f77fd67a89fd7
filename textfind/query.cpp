#include "query.h"

#include "btree_file.h"
#include "evaluation.h"
#include "export_guard.h"
#include "result_set.h"
#include "store_pair.h"

namespace textfind {

int32_t scanDb(std::string_view query, int32_t mode, std::string_view selector) {
    BtreeFile index;
    if (const OpenResult opened = index.open(kIndexFile, kIndexCacheBytes);
        opened != OpenResult::kOpened)
        return opened == OpenResult::kNoHandle ? TEXTFIND_SCAN_NO_HANDLE : TEXTFIND_SCAN_NOT_OPENED;
    // A pair the proof refuses is not read at all; each word's pages are
    // vetted before Berkeley DB reads them.
    if (currentPair(StoreFile::kIndex, index) == nullptr) return TEXTFIND_SCAN_NOT_OPENED;
    const StopWords stopWords = readStopWords(kStopWordFile);
    // The lists keep their storage from call to call: no allocation per word
    // or per call once they have grown.
    ResultSet &set = resultSet();
    // A damaged index (or a page not sound) gives no partial answer: the
    // query did not run.
    if (!evaluateQuery(index, stopWords, query, mode, selector, set.scratch, set.spare))
        return TEXTFIND_SCAN_NOT_OPENED;
    set.entries.swap(set.spare);
    set.spare.clear();
    set.readAhead.drop(true);
    return static_cast<int32_t>(set.entries.size());
}

}  // namespace textfind

extern "C" TEXTFIND_API int32_t TEXTFIND_CALL ScanDB(const char *query, int32_t mode,
                                                     const char *selector) {
    return textfind::guardExport(textfind::fallback::kScanDb, [&] {
        // A null query or selector reads as an empty one.
        return textfind::scanDb(query != nullptr ? query : "", mode,
                                selector != nullptr ? selector : "");
    });
}
