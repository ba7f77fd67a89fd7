#include "retrieval.h"

#include <algorithm>
#include <cstring>
#include <optional>
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

// The stored text of `record`, as ResSet and FindDB answer for it: 1 with
// `data` (Berkeley DB's memory, valid until the next lookup), -3 missing or
// longer than the store's longest text, -2 its pages not sound. `failed`
// tells a lookup Berkeley DB failed, which also answers -3.
int32_t readRecord(BtreeFile &store, PairFacts &pair, int32_t record, std::string_view &data,
                   bool *failed = nullptr) {
    // Known first: a record's data is valid only until the next lookup.
    std::optional<uint32_t> longest;
    if (!deliveryLimit(pair, store, longest)) return TEXTFIND_RECORD_NOT_OPENED;
    const RecordKey key = recordKey(record);
    switch (
        store.get(std::string_view(reinterpret_cast<const char *>(key.data()), key.size()), data)) {
    case Lookup::kFound: break;
    case Lookup::kRefused: return TEXTFIND_RECORD_NOT_OPENED;
    case Lookup::kFailed:
        if (failed != nullptr) *failed = true;
        return TEXTFIND_RECORD_MISSING;
    case Lookup::kNotFound: return TEXTFIND_RECORD_MISSING;
    }
    // No text goes past what the host sized its buffer for: the store's
    // longest text, whatever wrote the record.
    if (longest && data.size() > *longest) return TEXTFIND_RECORD_MISSING;
    return TEXTFIND_RECORD_DELIVERED;
}

// Writes exactly n + 1 bytes.
void deliver(std::string_view stored, char *buffer) {
    if (!stored.empty()) std::memcpy(buffer, stored.data(), stored.size());
    scrambleInPlace(std::span<char>(buffer, stored.size()));
    buffer[stored.size()] = '\0';
}

int32_t notOpenedResult(OpenResult opened) {
    return opened == OpenResult::kNoHandle ? TEXTFIND_RECORD_NO_HANDLE : TEXTFIND_RECORD_NOT_OPENED;
}

// What ResSet answers for `record` from what was read ahead, once the
// pair's three files prove to be those it was read from; 0 when it cannot.
int32_t fromReadAhead(ReadAhead &ahead, int32_t record, char *buffer) {
    const ReadAhead::Item &item = ahead.items[ahead.next];
    if (item.record != record || pairStampsNow() != ahead.stamps) return 0;
    if (item.result == TEXTFIND_RECORD_DELIVERED)
        deliver(std::string_view(ahead.texts).substr(item.offset, item.length), buffer);
    ++ahead.next;
    return item.result;
}

// The records of the next entries, through the call's open handle, as far
// as the grant and the limits allow; a record whose pages are not sound,
// or a lookup that failed, ends the batch (its own call finds out anew).
void readAhead(BtreeFile &store, PairFacts &pair, const RecordList &entries,
               ReadAhead &ahead) noexcept {
    ahead.drop();
    const std::size_t wanted = std::min({ahead.grant, entries.size(), readAheadLimits.records});
    ahead.grant = std::min(std::max<std::size_t>(1, ahead.grant * 2), readAheadLimits.records);
    if (wanted == 0) return;
    try {
        ahead.stamps = pair.stamps;
        for (std::size_t i = 0; i < wanted && ahead.texts.size() < readAheadLimits.bytes; ++i) {
            const int32_t record = entries[entries.size() - 1 - i];
            std::string_view data;
            bool failed = false;
            const int32_t result = readRecord(store, pair, record, data, &failed);
            if (result == TEXTFIND_RECORD_NOT_OPENED || failed) break;
            ahead.items.push_back({record, result, ahead.texts.size(),
                                   result == TEXTFIND_RECORD_DELIVERED ? data.size() : 0});
            if (result == TEXTFIND_RECORD_DELIVERED) ahead.texts.append(data);
        }
    } catch (...) {
        // Memory ran out: the calls read as they would without.
        ahead.drop();
    }
}

}  // namespace

int32_t resSet(char *buffer) {
    ResultSet &set = resultSet();
    RecordList &entries = set.entries;
    if (entries.empty()) return TEXTFIND_RESULT_SET_EMPTY;
    ReadAhead &ahead = set.readAhead;
    if (ahead.holds()) {
        if (const int32_t result = fromReadAhead(ahead, entries.back(), buffer); result != 0) {
            entries.pop_back();
            return result;
        }
        ahead.drop();
    }
    BtreeFile store;
    const uint32_t cache = ahead.grant >= 8 ? kReadAheadCacheBytes : kRecordCacheBytes;
    if (const OpenResult opened = store.open(kRecordFile, cache); opened != OpenResult::kOpened)
        return notOpenedResult(opened);
    // A pair the proof refuses is not read at all, nor a record on pages
    // that are not sound; the entry stays.
    PairFacts *pair = currentPair(StoreFile::kRecords, store);
    if (pair == nullptr) return TEXTFIND_RECORD_NOT_OPENED;
    std::string_view data;
    const int32_t result = readRecord(store, *pair, entries.back(), data);
    if (result == TEXTFIND_RECORD_NOT_OPENED) return result;
    if (result == TEXTFIND_RECORD_DELIVERED) deliver(data, buffer);
    entries.pop_back();
    readAhead(store, *pair, entries, ahead);
    return result;
}

int32_t findDb(int32_t record, char *buffer) {
    BtreeFile store;
    if (const OpenResult opened = store.open(kRecordFile, kRecordCacheBytes);
        opened != OpenResult::kOpened)
        return notOpenedResult(opened);
    PairFacts *pair = currentPair(StoreFile::kRecords, store);
    if (pair == nullptr) return TEXTFIND_RECORD_NOT_OPENED;
    std::string_view data;
    const int32_t result = readRecord(store, *pair, record, data);
    if (result == TEXTFIND_RECORD_DELIVERED) deliver(data, buffer);
    return result;
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
