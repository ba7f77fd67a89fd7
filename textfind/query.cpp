#include "query.h"

#include <algorithm>
#include <string>
#include <vector>

#include "category_filter.h"
#include "export_guard.h"
#include "merge.h"
#include "postings.h"
#include "result_set.h"
#include "stop_words.h"
#include "store.h"
#include "words.h"

namespace textfind {

int32_t scanDb(std::string_view query, int32_t mode, std::string_view selector) {
    const std::string text(query);
    StoreHandle index;
    if (const OpenResult opened = index.open(kIndexFile); opened != OpenResult::kOpened)
        return opened == OpenResult::kNoHandle ? TEXTFIND_SCAN_NO_HANDLE : TEXTFIND_SCAN_NOT_OPENED;
    const StopWords stopWords = readStopWords(kStopWordFile);

    ResultSet &set = resultSet();
    std::vector<int32_t> &building = set.spare;
    building.clear();
    std::vector<int32_t> wordList;
    std::vector<int32_t> working;
    std::string item;
    bool firstWord = true;
    bool unreadable = false;

    forEachWord(text, [&](std::string_view word) {
        if (unreadable) return;
        const std::string key = wordNormalForm(word);
        if (stopWords.contains(key)) return;
        wordList.clear();
        std::string_view data;
        const Lookup found = index.get(key.data(), static_cast<uint32_t>(key.size()), data);
        if (found == Lookup::kFailed) {
            unreadable = true;
            return;
        }
        if (found == Lookup::kFound) {
            item.assign(data);
            const std::size_t count = item.size() / kPostingSize;
            for (std::size_t i = 0; i < count; ++i) {
                const Posting posting = decodePosting(item, i);
                if (categoryAccepts(selector, postingCategoryCode(posting.category)))
                    wordList.push_back(posting.record);
            }
            std::sort(wordList.begin(), wordList.end());
        }
        if (firstWord) {
            building.assign(wordList.begin(), wordList.end());
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
