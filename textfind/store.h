// Access to the two Berkeley DB stores. Every call opens its own handle and
// closes it before returning; nothing is cached.
#pragma once

#include <db.h>

#include <cstdint>
#include <string_view>

namespace textfind {

inline constexpr const char *kIndexFile = "opere.idb";
inline constexpr const char *kRecordFile = "opere.ddb";
inline constexpr const char *kStopWordFile = "noused.txt";

enum class OpenResult { kOpened, kNoHandle, kNotOpened };

// Handle creation goes through this pointer so tests can make it fail or
// hand out instrumented handles. Never changed outside tests.
using DbCreateFunction = int (*)(DB **, DB_ENV *, u_int32_t);
extern DbCreateFunction dbCreateFunction;

class StoreHandle {
public:
    StoreHandle() = default;
    StoreHandle(const StoreHandle &) = delete;
    StoreHandle &operator=(const StoreHandle &) = delete;
    ~StoreHandle();

    // Creates a handle and opens the B-tree file read as is (flags 0: a missing
    // file is an error, never created).
    OpenResult open(const char *path);

    // Exact-key lookup. On success `data` points into Berkeley DB's memory,
    // valid only until the next call on this handle: copy it at once.
    bool get(const void *key, uint32_t size, std::string_view &data);

private:
    DB *db_ = nullptr;
};

}  // namespace textfind
