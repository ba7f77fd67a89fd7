#include "store.h"

#include <cerrno>
#include <cstring>
#include <new>

namespace textfind {

StoreFaultHook storeFaultHook = nullptr;

namespace {

int injected(StoreCall call) {
    if (storeFaultHook == nullptr) return 0;
    const std::optional<int> code = storeFaultHook(call);
    if (code && *code == ENOMEM && call == StoreCall::Read) throw std::bad_alloc();
    return code.value_or(0);
}

void dropMessage(const DB_ENV *, const char *, const char *) {}
void dropInformation(const DB_ENV *, const char *) {}

// A damaged file can make Berkeley DB declare its environment dead ("run
// recovery"); closing then returns early and frees nothing. The handle's
// private environment has nothing to recover, so it is told to close anyway.
void closeHandle(DB *db) {
    if (DB_ENV *environment = db->get_env(db)) environment->set_flags(environment, DB_NOPANIC, 1);
    db->close(db, 0);
}

DBT keyItem(const void *key, uint32_t size) {
    DBT k;
    std::memset(&k, 0, sizeof k);
    k.data = const_cast<void *>(key);
    k.size = size;
    return k;
}

}  // namespace

StoreHandle::~StoreHandle() {
    if (cursor_ != nullptr) cursor_->close(cursor_);
    if (db_ != nullptr) closeHandle(db_);
}

OpenResult StoreHandle::open(const char *path) {
    DB *db = nullptr;
    if (injected(StoreCall::Create) != 0 || db_create(&db, nullptr, 0) != 0 || db == nullptr)
        return OpenResult::kNoHandle;
    db->set_errcall(db, dropMessage);
    db->set_msgcall(db, dropInformation);
    if (db->open(db, nullptr, path, nullptr, DB_BTREE, 0, 0664) != 0) {
        closeHandle(db);
        return OpenResult::kNotOpened;
    }
    db_ = db;
    return OpenResult::kOpened;
}

Lookup StoreHandle::get(const void *key, uint32_t size, std::string_view &data) {
    DBT k = keyItem(key, size);
    DBT v;
    std::memset(&v, 0, sizeof v);
    int rc = injected(StoreCall::Read);
    if (rc == 0) rc = db_->get(db_, nullptr, &k, &v, 0);
    if (rc == DB_NOTFOUND || rc == DB_KEYEMPTY) return Lookup::kNotFound;
    if (rc != 0) return Lookup::kFailed;
    // An empty item may come back without a data pointer.
    data = v.size == 0 ? std::string_view()
                       : std::string_view(static_cast<const char *>(v.data), v.size);
    return Lookup::kFound;
}

Lookup StoreHandle::getPiece(const void *key, uint32_t size, uint32_t offset, std::span<char> into,
                             std::string_view &piece) {
    if (cursor_ == nullptr && db_->cursor(db_, nullptr, &cursor_, 0) != 0) {
        cursor_ = nullptr;
        return Lookup::kFailed;
    }
    DBT k = keyItem(key, size);
    DBT v;
    std::memset(&v, 0, sizeof v);
    v.flags = DB_DBT_USERMEM | DB_DBT_PARTIAL;
    v.data = into.data();
    v.ulen = v.dlen = static_cast<u_int32_t>(into.size());
    v.doff = offset;
    // The cursor stays on the key between pieces: DB_CURRENT reads on where
    // the last piece ended, where DB_SET would walk the item from its start.
    int rc = injected(StoreCall::Read);
    if (rc == 0) rc = cursor_->get(cursor_, &k, &v, offset == 0 ? DB_SET : DB_CURRENT);
    if (offset == 0 && (rc == DB_NOTFOUND || rc == DB_KEYEMPTY)) return Lookup::kNotFound;
    if (rc != 0 || v.size > into.size()) return Lookup::kFailed;
    piece = std::string_view(into.data(), v.size);
    return Lookup::kFound;
}

bool StoreHandle::hasPageChecksums() const {
    u_int32_t flags = 0;
    return db_->get_flags(db_, &flags) == 0 && (flags & DB_CHKSUM) != 0;
}

std::optional<uint32_t> deliveryLimit(StoreHandle &records) {
    if (records.hasPageChecksums()) return std::nullopt;
    return longestText(records);
}

std::optional<uint32_t> longestText(StoreHandle &records) {
    std::string_view data;
    switch (
        records.get(kLongestTextKey.data(), static_cast<uint32_t>(kLongestTextKey.size()), data)) {
    case Lookup::kNotFound: return std::nullopt;
    case Lookup::kFailed: return 0;
    case Lookup::kFound: break;
    }
    if (data.size() != 4) return 0;
    const auto *b = reinterpret_cast<const unsigned char *>(data.data());
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

}  // namespace textfind
