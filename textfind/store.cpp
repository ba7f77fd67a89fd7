#include "store.h"

#include <cstring>

namespace textfind {

DbCreateFunction dbCreateFunction = &db_create;

StoreHandle::~StoreHandle() {
    if (db_ != nullptr) db_->close(db_, 0);
}

OpenResult StoreHandle::open(const char *path) {
    DB *db = nullptr;
    if (dbCreateFunction(&db, nullptr, 0) != 0 || db == nullptr) return OpenResult::kNoHandle;
    if (db->open(db, nullptr, path, nullptr, DB_BTREE, 0, 0664) != 0) {
        db->close(db, 0);
        return OpenResult::kNotOpened;
    }
    db_ = db;
    return OpenResult::kOpened;
}

bool StoreHandle::get(const void *key, uint32_t size, std::string_view &data) {
    DBT k;
    DBT v;
    std::memset(&k, 0, sizeof k);
    std::memset(&v, 0, sizeof v);
    k.data = const_cast<void *>(key);
    k.size = size;
    if (db_->get(db_, nullptr, &k, &v, 0) != 0) return false;
    // An empty item may come back without a data pointer.
    data = v.size == 0 ? std::string_view()
                       : std::string_view(static_cast<const char *>(v.data), v.size);
    return true;
}

}  // namespace textfind
