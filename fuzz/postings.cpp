// A word's index item as a query reads it: the postings its category
// selector accepts, their order, and the selector's remembered decisions.
// Input: the selector up to a NUL, then the item's data.
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "category_filter.h"
#include "check.h"
#include "format.h"
#include "models.h"
#include "postings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string_view input(reinterpret_cast<const char *>(data), size);
    const std::size_t nul = input.find('\0');
    const std::string_view selector = input.substr(0, nul);
    const std::string_view item = nul == std::string_view::npos ? "" : input.substr(nul + 1);

    // Kept from input to input, as from query to query: a new selector must
    // forget the last one's decisions, the same one may keep them.
    static textfind::CategoryDecisions decisions;
    decisions.choose(selector);

    textfind::RecordList out = {7};  // appended to, never replaced
    const bool ascending = textfind::appendAcceptedRecords(item, decisions, out);

    textfind::RecordList expected = {7};
    bool expectAscending = true;
    const std::size_t count = item.size() / textfind::kPostingSize;
    for (std::size_t i = 0; i < count; ++i) {
        const auto *p = reinterpret_cast<const unsigned char *>(item.data()) + i * 8;
        int32_t record;
        std::memcpy(&record, p, 4);  // little-endian, as stored
        if (i > 0) {
            int32_t previous;
            std::memcpy(&previous, p - 8, 4);
            expectAscending &= previous <= record;
        }
        const textfind::Posting posting = textfind::decodePosting(item, i);
        FUZZ_CHECK(posting.record == record, "a posting's record number");
        FUZZ_CHECK(std::memcmp(posting.category, p + 4, 2) == 0, "a posting's category bytes");
        if (model::accepts(selector, model::code(p[4], p[5]))) expected.push_back(record);
    }
    FUZZ_CHECK(out == expected, "the accepted postings, in stored order");
    FUZZ_CHECK(ascending == expectAscending, "whether the item's numbers ascend");

    // Every pair the selector may meet, decided as the rule says.
    for (uint32_t pair = 0; pair < 0x10000; pair += 1 + (pair & 0x3F)) {
        const bool rule = model::accepts(selector, model::code(pair & 0xFF, pair >> 8));
        FUZZ_CHECK(decisions.accepts(pair) == rule, "a remembered decision");
    }
    return 0;
}
