#include "retrieval.h"

#include <cstring>
#include <span>
#include <string_view>

#include "export_guard.h"
#include "postings.h"
#include "result_set.h"
#include "scramble.h"
#include "store.h"

namespace textfind {

namespace {

// Writes exactly n + 1 bytes, and only after the lookup has succeeded.
int32_t deliverRecord(StoreHandle &store, int32_t record, char *buffer) {
    // Looked up first: a record's data is valid only until the next lookup.
    const std::optional<uint32_t> longest = deliveryLimit(store);
    unsigned char key[4];
    encodeRecordKey(record, key);
    std::string_view data;
    if (store.get(key, sizeof key, data) != Lookup::kFound) return TEXTFIND_RECORD_MISSING;
    // A damaged length must not carry a text past what the host sized its
    // buffer for: the store's longest text.
    if (longest && data.size() > *longest) return TEXTFIND_RECORD_MISSING;
    if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
    scrambleInPlace(std::span<char>(buffer, data.size()));
    buffer[data.size()] = '\0';
    return TEXTFIND_RECORD_DELIVERED;
}

int32_t notOpenedResult(OpenResult opened) {
    return opened == OpenResult::kNoHandle ? TEXTFIND_RECORD_NO_HANDLE : TEXTFIND_RECORD_NOT_OPENED;
}

}  // namespace

int32_t resSet(char *buffer) {
    RecordList &entries = resultSet().entries;
    if (entries.empty()) return TEXTFIND_RESULT_SET_EMPTY;
    StoreHandle store;
    if (const OpenResult opened = store.open(kRecordFile); opened != OpenResult::kOpened)
        return notOpenedResult(opened);
    const int32_t record = entries.back();
    entries.pop_back();
    return deliverRecord(store, record, buffer);
}

int32_t findDb(int32_t record, char *buffer) {
    StoreHandle store;
    if (const OpenResult opened = store.open(kRecordFile); opened != OpenResult::kOpened)
        return notOpenedResult(opened);
    return deliverRecord(store, record, buffer);
}

}  // namespace textfind

extern "C" {

// A null buffer cannot take a record: -1, and nothing changes.

TEXTFIND_API int32_t TEXTFIND_CALL ResSet(char *buffer) {
    if (buffer == nullptr) return TEXTFIND_RECORD_NO_HANDLE;
    return textfind::guardExport(textfind::fallback::kResSet,
                                 [&] { return textfind::resSet(buffer); });
}

TEXTFIND_API int32_t TEXTFIND_CALL FindDB(int32_t record, char *buffer) {
    if (buffer == nullptr) return TEXTFIND_RECORD_NO_HANDLE;
    return textfind::guardExport(textfind::fallback::kFindDb,
                                 [&] { return textfind::findDb(record, buffer); });
}

}  // extern "C"
