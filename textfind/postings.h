// The postings of the word index (their layout is in format.h).
#pragma once

#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "category_filter.h"
#include "format.h"
#include "merge.h"

namespace textfind {

struct Posting {
    int32_t record;
    char category[2];
};

// Decodes posting `index` of a data item; the caller keeps index below
// size / kPostingSize, so trailing bytes are never read.
Posting decodePosting(std::string_view data, std::size_t index);

// Appends to `out` the record numbers of the postings of `data` whose
// category bytes `decisions` accepts, in stored order; trailing bytes are
// ignored. Returns whether the postings' numbers ascend (repetitions
// allowed), so that a caller sorts only when they do not.
bool appendAcceptedRecords(std::string_view data, CategoryDecisions &decisions, RecordList &out);

// Appends one posting; the reserved bytes are written as 0.
void appendPosting(std::string &data, int32_t record, std::string_view category);

}  // namespace textfind
