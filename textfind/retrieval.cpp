#include "retrieval.h"

#include <cstring>
#include <span>
#include <string_view>

#include "btree_file.h"
#include "export_guard.h"
#include "format.h"
#include "result_set.h"
#include "scramble.h"
#include "store_pair.h"

namespace textfind {

namespace {

// Writes exactly n + 1 bytes, and only after the lookup has succeeded. -2
// when the pages the lookup reads are not sound.
int32_t deliverRecord(BtreeFile &store, PairFacts &pair, int32_t record, char *buffer) {
    // Known first: a record's data is valid only until the next lookup.
    std::optional<uint32_t> longest;
    if (!deliveryLimit(pair, store, longest)) return TEXTFIND_RECORD_NOT_OPENED;
    const RecordKey key = recordKey(record);
    std::string_view data;
    switch (
        store.get(std::string_view(reinterpret_cast<const char *>(key.data()), key.size()), data)) {
    case Lookup::kFound: break;
    case Lookup::kRefused: return TEXTFIND_RECORD_NOT_OPENED;
    case Lookup::kNotFound:
    case Lookup::kFailed: return TEXTFIND_RECORD_MISSING;
    }
    // No text goes past what the host sized its buffer for: the store's
    // longest text, whatever wrote the record.
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
    BtreeFile store;
    if (const OpenResult opened = store.open(kRecordFile, kRecordCacheBytes);
        opened != OpenResult::kOpened)
        return notOpenedResult(opened);
    // A pair the proof refuses is not read at all, nor a record on pages
    // that are not sound; the entry stays.
    PairFacts *pair = currentPair(StoreFile::kRecords, store);
    if (pair == nullptr) return TEXTFIND_RECORD_NOT_OPENED;
    const int32_t result = deliverRecord(store, *pair, entries.back(), buffer);
    if (result != TEXTFIND_RECORD_NOT_OPENED) entries.pop_back();
    return result;
}

int32_t findDb(int32_t record, char *buffer) {
    BtreeFile store;
    if (const OpenResult opened = store.open(kRecordFile, kRecordCacheBytes);
        opened != OpenResult::kOpened)
        return notOpenedResult(opened);
    PairFacts *pair = currentPair(StoreFile::kRecords, store);
    if (pair == nullptr) return TEXTFIND_RECORD_NOT_OPENED;
    return deliverRecord(store, *pair, record, buffer);
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
