#include "query.h"

#include <algorithm>
#include <string>
#include <vector>

#include "btree_file.h"
#include "category_filter.h"
#include "export_guard.h"
#include "merge.h"
#include "postings.h"
#include "result_set.h"
#include "stop_words.h"
#include "store_pair.h"
#include "words.h"

namespace textfind {

int32_t scanDb(std::string_view query, int32_t mode, std::string_view selector) {
    BtreeFile index;
    if (const OpenResult opened = index.open(kIndexFile, kIndexCacheBytes);
        opened != OpenResult::kOpened)
        return opened == OpenResult::kNoHandle ? TEXTFIND_SCAN_NO_HANDLE : TEXTFIND_SCAN_NOT_OPENED;
    // A pair the proof refuses is not read at all.
    if (currentPair(StoreFile::kIndex, index).refused) return TEXTFIND_SCAN_NOT_OPENED;
    const StopWords stopWords = readStopWords(kStopWordFile);

    // The lists keep their storage from call to call: no allocation per word
    // or per call once they have grown.
    ResultSet &set = resultSet();
    RecordList &building = set.spare;
    RecordList &wordList = set.wordList;
    RecordList &working = set.working;
    building.clear();
    CategoryDecisions &decisions = set.decisions;
    decisions.choose(selector);
    std::string key;
    bool firstWord = true;
    bool unreadable = false;

    forEachWord(query, [&](std::string_view word) {
        if (unreadable) return;
        wordNormalForm(word, key);
        if (stopWords.contains(key)) return;
        wordList.clear();
        // The item in pieces small enough to stay in the processor's cache
        // while they are decoded; whole postings each, so none is split.
        bool ascending = true;
        std::string_view piece;
        for (uint32_t offset = 0;; offset += static_cast<uint32_t>(piece.size())) {
            const Lookup found = index.getPiece(key, offset, set.piece, piece);
            if (found == Lookup::kFailed) {
                unreadable = true;
                return;
            }
            if (found == Lookup::kNotFound || piece.empty()) break;
            const int32_t last = wordList.empty() ? INT32_MIN : wordList.back();
            const std::size_t before = wordList.size();
            ascending &= appendAcceptedRecords(piece, decisions, wordList);
            ascending &= before == wordList.size() || wordList[before] >= last;
            if (piece.size() < set.piece.size()) break;  // the item's last piece
        }
        if (!ascending) std::sort(wordList.begin(), wordList.end());
        if (firstWord) {
            building.swap(wordList);
            firstWord = false;
        } else {
            if (mode == 1)
                intersectSorted(wordList, building, working);
            else
                uniteSorted(wordList, building, working);
            building.swap(working);
        }
    });

    // A damaged index gives no partial answer: the query did not run.
    if (unreadable) return TEXTFIND_SCAN_NOT_OPENED;
    set.entries.swap(building);
    building.clear();
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
