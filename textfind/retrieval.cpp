#include "retrieval.h"

#include <cstring>
#include <span>
#include <string_view>

#include "postings.h"
#include "result_set.h"
#include "scramble.h"
#include "store.h"

namespace textfind {

namespace {

// Writes exactly n + 1 bytes, and only after the lookup has succeeded.
int32_t deliverRecord(StoreHandle &store, int32_t record, char *buffer) {
    unsigned char key[4];
    encodeRecordKey(record, key);
    std::string_view data;
    if (!store.get(key, sizeof key, data)) return kNoRecord;
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    scrambleInPlace(std::span<char>(buffer, data.size()));
    buffer[data.size()] = '\0';
    return 1;
}

}  // namespace

int32_t resSet(char *buffer) {
    std::vector<int32_t> &entries = resultSet().entries;
    if (entries.empty()) return 0;
    StoreHandle store;
    if (const int32_t rc = store.open(kRecordFile); rc != 0) return rc;
    const int32_t record = entries.back();
    entries.pop_back();
    return deliverRecord(store, record, buffer);
}

int32_t findDb(int32_t record, char *buffer) {
    StoreHandle store;
    if (const int32_t rc = store.open(kRecordFile); rc != 0) return rc;
    return deliverRecord(store, record, buffer);
}

}  // namespace textfind
