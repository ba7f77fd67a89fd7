#include "evaluation.h"

#include <algorithm>
#include <climits>
#include <string>

#include "btree_file.h"
#include "postings.h"
#include "words.h"

namespace textfind {

bool evaluateQuery(BtreeFile &index, const StopWords &stopWords, std::string_view query,
                   int32_t mode, std::string_view selector, QueryScratch &scratch,
                   RecordList &out) {
    RecordList &wordList = scratch.wordList;
    RecordList &working = scratch.working;
    CategoryDecisions &decisions = scratch.decisions;
    decisions.choose(selector);
    out.clear();
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
            const Lookup found = index.getPiece(key, offset, scratch.piece, piece);
            if (found == Lookup::kFailed || found == Lookup::kRefused) {
                unreadable = true;
                return;
            }
            if (found == Lookup::kNotFound || piece.empty()) break;
            // A long list grows once, not by doubling as its pieces come.
            if (offset == 0)
                if (const std::optional<uint32_t> length = index.itemLength())
                    wordList.reserve(*length / kPostingSize);
            const int32_t last = wordList.empty() ? INT32_MIN : wordList.back();
            const std::size_t before = wordList.size();
            ascending &= appendAcceptedRecords(piece, decisions, wordList);
            ascending &= before == wordList.size() || wordList[before] >= last;
            if (piece.size() < scratch.piece.size()) break;  // the item's last piece
        }
        if (!ascending) std::sort(wordList.begin(), wordList.end());
        if (firstWord) {
            out.swap(wordList);
            firstWord = false;
        } else {
            if (mode == 1)
                intersectSorted(wordList, out, working);
            else
                uniteSorted(wordList, out, working);
            out.swap(working);
        }
    });
    return !unreadable;
}

}  // namespace textfind
