// Evaluating a query against an open word index: what ScanDB answers, as a
// list of record numbers, for the library and for the tools that must know
// the numbers behind the texts.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "category_filter.h"
#include "merge.h"
#include "stop_words.h"

namespace textfind {

class BtreeFile;

// Index items are read in pieces of this size: a multiple of a posting.
inline constexpr std::size_t kIndexPieceBytes = 64 * 1024;

// Storage a query reuses from call to call: a piece of an index item, one
// word's postings, the combination, the category decisions of the selector.
struct QueryScratch {
    std::vector<char> piece = std::vector<char>(kIndexPieceBytes);
    RecordList wordList;
    RecordList working;
    CategoryDecisions decisions;
};

// The record numbers of `query` in `out`, ascending (mode 1 intersects the
// words' lists, any other mode unites them). False when an index lookup
// failed (a damaged page): `out` then holds no answer.
bool evaluateQuery(BtreeFile &index, const StopWords &stopWords, std::string_view query,
                   int32_t mode, std::string_view selector, QueryScratch &scratch, RecordList &out);

}  // namespace textfind
