#include "postings.h"

#include <bit>
#include <cstring>

namespace textfind {

Posting decodePosting(std::string_view data, std::size_t index) {
    const auto *p = reinterpret_cast<const unsigned char *>(data.data()) + index * kPostingSize;
    return Posting{static_cast<int32_t>(readU32(p)),
                   {static_cast<char>(p[kPostingCategoryOffset]),
                    static_cast<char>(p[kPostingCategoryOffset + 1])}};
}

namespace {

// Least significant byte first: compilers make this one load.
inline uint64_t loadPosting(const unsigned char *q) {
    return uint64_t{q[0]} | uint64_t{q[1]} << 8 | uint64_t{q[2]} << 16 | uint64_t{q[3]} << 24 |
           uint64_t{q[4]} << 32 | uint64_t{q[5]} << 40 | uint64_t{q[6]} << 48 |
           uint64_t{q[7]} << 56;
}

inline int32_t recordOf(uint64_t posting) {
    return static_cast<int32_t>(static_cast<uint32_t>(posting));
}

inline uint32_t pairOf(uint64_t posting) { return static_cast<uint32_t>(posting >> 32) & 0xFFFF; }

inline int32_t recordAt(const unsigned char *q) {
    if constexpr (std::endian::native == std::endian::little) {
        int32_t record;
        std::memcpy(&record, q, sizeof record);
        return record;
    } else {
        return recordOf(loadPosting(q));
    }
}

inline uint32_t pairAt(const unsigned char *q) {
    return uint32_t{q[kPostingCategoryOffset]} | uint32_t{q[kPostingCategoryOffset + 1]} << 8;
}

}  // namespace

// Out of line: inlined into a query, its loops lose their registers.
bool appendAcceptedRecords(std::string_view data, CategoryDecisions &decisions, RecordList &out) {
    const std::size_t count = data.size() / kPostingSize;
    const std::size_t start = out.size();
    out.resize(start + count);
    int32_t *to = out.data() + start;
    const auto *p = reinterpret_cast<const unsigned char *>(data.data());

    // Most often every posting is accepted: one pass over the category bytes
    // says so (an undecided pair reads as refused here), and two more copy
    // the numbers and check their order, loops simple enough for the
    // compiler's vector instructions.
    uint8_t everyOne = 1;
    for (std::size_t i = 0; i < count; ++i)
        everyOne &= decisions.answer(pairAt(p + i * kPostingSize));
    if (everyOne == 1) {
        for (std::size_t i = 0; i < count; ++i) to[i] = recordAt(p + i * kPostingSize);
        int descents = 0;
        for (std::size_t i = 1; i < count; ++i) descents |= to[i] < to[i - 1];
        return descents == 0;
    }

    bool ascending = true;
    // Otherwise numbers are written always and kept only when accepted, so
    // nothing branches on an answer once it is decided.
    std::size_t kept = 0;
    int32_t previous = INT32_MIN;
    for (std::size_t i = 0; i < count; ++i) {
        const uint64_t posting = loadPosting(p + i * kPostingSize);
        const int32_t record = recordOf(posting);
        to[kept] = record;
        kept += decisions.accepts(pairOf(posting));
        ascending &= record >= previous;
        previous = record;
    }
    out.resize(start + kept);
    return ascending;
}

void appendPosting(std::string &data, int32_t record, std::string_view category) {
    unsigned char posting[kPostingSize] = {};
    writeU32(static_cast<uint32_t>(record), posting);
    for (std::size_t i = 0; i < 2 && i < category.size(); ++i)
        posting[kPostingCategoryOffset + i] = static_cast<unsigned char>(category[i]);
    data.append(reinterpret_cast<const char *>(posting), kPostingSize);
}

}  // namespace textfind
