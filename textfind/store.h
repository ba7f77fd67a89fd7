// Access to the two Berkeley DB stores. Every call opens its own handle and
// closes it before returning; nothing is cached.
#pragma once

#include <db.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace textfind {

inline constexpr const char *kIndexFile = "opere.idb";
inline constexpr const char *kRecordFile = "opere.ddb";
inline constexpr const char *kStopWordFile = "noused.txt";

// The record store's one key that is not a record number (no record key has
// other than 4 bytes): its data is the length of the longest text, 4 bytes
// least significant first. The builder writes it; a store without it is read
// as before.
inline constexpr std::string_view kLongestTextKey = "longest-text";

enum class OpenResult { kOpened, kNoHandle, kNotOpened };
enum class Lookup { kFound, kNotFound, kFailed };

// The Berkeley DB calls a test may make fail: creating a handle, and
// reading an item (a lookup or a piece of one).
enum class StoreCall { Create, Read };
// Consulted before each such call, for the error it fails with instead: the
// call then returns that error, and a read that fails with ENOMEM has run
// out of memory (std::bad_alloc). Null, and so never consulted, outside
// tests.
using StoreFaultHook = std::optional<int> (*)(StoreCall call);
extern StoreFaultHook storeFaultHook;

class StoreHandle {
public:
    StoreHandle() = default;
    StoreHandle(const StoreHandle &) = delete;
    StoreHandle &operator=(const StoreHandle &) = delete;
    ~StoreHandle();

    // Creates a handle and opens the B-tree file read as is (flags 0: a missing
    // file is an error, never created). Berkeley DB's own messages are
    // dropped: the exports' results are the only report.
    OpenResult open(const char *path);

    // Exact-key lookup. On kFound `data` points into Berkeley DB's memory,
    // valid only until the next call on this handle: copy it at once.
    // kFailed is any error but a missing key (a damaged page, among others).
    Lookup get(const void *key, uint32_t size, std::string_view &data);

    // A key's item read in pieces into `into`: offset 0 looks the key up, and
    // each later call must ask for the offset where the last piece ended
    // (Berkeley DB then goes on from the page it reached, so reading an item
    // in pieces costs what reading it whole does, without holding it all).
    // `piece` is empty once the item has ended.
    Lookup getPiece(const void *key, uint32_t size, uint32_t offset, std::span<char> into,
                    std::string_view &piece);

    // Whether the file was written with page checksums: Berkeley DB then
    // checks every page it reads, so every item it hands back is one that
    // was written, at the length it was written with.
    bool hasPageChecksums() const;

private:
    DB *db_ = nullptr;
    DBC *cursor_ = nullptr;
};

// The longest text the record store vouches for: nothing when it holds no
// such entry, 0 when its entry is damaged (so that every text is refused).
std::optional<uint32_t> longestText(StoreHandle &records);

// The length beyond which a delivered text can only be damage: the longest
// text, for a store without page checksums that holds the entry; nothing
// otherwise (a store with checksums never hands back a damaged length, and
// looking the entry up would cost a second descent of the tree per record).
std::optional<uint32_t> deliveryLimit(StoreHandle &records);

}  // namespace textfind
