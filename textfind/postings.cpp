#include "postings.h"

namespace textfind {

Posting decodePosting(std::string_view data, std::size_t index) {
    const auto *p = reinterpret_cast<const unsigned char *>(data.data()) + index * kPostingSize;
    const uint32_t bits = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                          static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    return Posting{static_cast<int32_t>(bits), {static_cast<char>(p[4]), static_cast<char>(p[5])}};
}

void appendPosting(std::string &data, int32_t record, std::string_view category) {
    unsigned char key[4];
    encodeRecordKey(record, key);
    data.append(reinterpret_cast<const char *>(key), 4);
    data.push_back(category.size() > 0 ? category[0] : '\0');
    data.push_back(category.size() > 1 ? category[1] : '\0');
    data.append(2, '\0');
}

void encodeRecordKey(int32_t record, unsigned char (&key)[4]) {
    const auto bits = static_cast<uint32_t>(record);
    for (int i = 0; i < 4; ++i) key[i] = static_cast<unsigned char>(bits >> (8 * i));
}

}  // namespace textfind
