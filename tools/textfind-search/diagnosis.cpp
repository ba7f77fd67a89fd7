#include "diagnosis.h"

#include <set>
#include <vector>

#include "btree_file.h"
#include "category_filter.h"
#include "evaluation.h"
#include "format.h"
#include "postings.h"
#include "stop_words.h"
#include "store_pair.h"
#include "words.h"

namespace textfind::search {

namespace {

// The codes of the postings of `key`, read in pieces as a query reads them.
void addCodes(BtreeFile &index, const std::string &key, std::set<std::string> &codes) {
    std::vector<char> piece(kIndexPieceBytes);
    std::string_view read;
    for (uint32_t offset = 0;; offset += static_cast<uint32_t>(read.size())) {
        if (index.getPiece(key, offset, piece, read) != Lookup::kFound || read.empty()) return;
        for (std::size_t i = 0; i < read.size() / kPostingSize; ++i)
            codes.insert(std::string(postingCategoryCode(decodePosting(read, i).category)));
        if (read.size() < piece.size()) return;
    }
}

}  // namespace

Diagnosis diagnose(std::string_view query, int32_t mode, std::size_t found) {
    Diagnosis diagnosis;
    const StopWords stopWords = readStopWords(kStopWordFile);
    BtreeFile index;
    // Its pages vetted as ScanDB's are: a damaged index is refused, not read.
    if (index.open(kIndexFile, 0, true) != OpenResult::kOpened ||
        currentPair(StoreFile::kIndex, index) == nullptr)
        return diagnosis;
    std::set<std::string> codes;
    forEachWord(query, [&](std::string_view word) {
        const std::string key = wordNormalForm(word);
        std::string_view data;
        if (stopWords.contains(key))
            diagnosis.stopWords.emplace_back(word);
        else if (index.get(key, data) != Lookup::kFound)
            diagnosis.absent.emplace_back(word);
        else if (found == 0)
            addCodes(index, key, codes);
    });
    QueryScratch scratch;
    RecordList all;
    if (evaluateQuery(index, stopWords, query, mode, kEveryCategory, scratch, all))
        diagnosis.everyCategory = all.size();
    if (found == 0 && diagnosis.everyCategory > 0)
        diagnosis.categories.assign(codes.begin(), codes.end());
    return diagnosis;
}

}  // namespace textfind::search
