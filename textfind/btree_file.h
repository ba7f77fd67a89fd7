// The one way this project reaches Berkeley DB: a B-tree file without an
// environment, read by exact key or in pieces, written in key order,
// walked whole or verified. Berkeley DB's own messages never reach stderr:
// the last of them is kept for the caller's error.
#pragma once

#include <db.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "file_stamp.h"
#include "format.h"
#include "page_file.h"

namespace textfind {

enum class OpenResult { kOpened, kNoHandle, kNotOpened };
// kRefused: the pages the lookup would read are not sound (vetWith); it was
// not made.
enum class Lookup { kFound, kNotFound, kFailed, kRefused };

class VettedPages;

// The Berkeley DB calls a test may make fail: creating a handle, and reading
// an item (a lookup, a piece of one, a step of a walk).
enum class StoreCall { Create, Read };
// Consulted before each such call, for the error it fails with instead: the
// call then returns that error, and a read that fails with ENOMEM has run
// out of memory (std::bad_alloc). Null, and so never consulted, outside
// tests.
using StoreFaultHook = std::optional<int> (*)(StoreCall call);
extern StoreFaultHook storeFaultHook;

class BtreeFile {
public:
    BtreeFile() = default;
    BtreeFile(const BtreeFile &) = delete;
    BtreeFile &operator=(const BtreeFile &) = delete;
    ~BtreeFile();  // closes; a file being written is then removed

    // Opens the file as the library does (flags 0: a missing file is an
    // error, never created; mode 0664), or read-only for the tools, with a
    // cache of `cacheBytes` (0: Berkeley DB's default).
    OpenResult open(const char *path, uint32_t cacheBytes, bool readOnly = false);

    // Creates a new file (an existing one is an error) to be written in key
    // order with `layout`, through a cache of `cacheBytes`.
    bool create(const std::string &path, Layout layout, uint32_t cacheBytes);
    bool put(std::string_view key, std::string_view data);
    // Writes everything out and closes; false when that fails. The file is
    // kept only once this succeeded.
    bool finish();

    // Exact-key lookup. On kFound `data` points into Berkeley DB's memory,
    // valid only until the next call on this handle: copy it at once.
    // kFailed is any error but a missing key (a damaged page, among others).
    Lookup get(std::string_view key, std::string_view &data);

    // A key's item read in pieces into `into`: offset 0 looks the key up, and
    // each later call must ask for the offset where the last piece ended
    // (Berkeley DB then goes on from the page it reached, so reading an item
    // in pieces costs what reading it whole does, without holding it all).
    // `piece` is empty once the item has ended.
    Lookup getPiece(std::string_view key, uint32_t offset, std::span<char> into,
                    std::string_view &piece);

    // From here on, each lookup first has `vetted` vet the pages it reads
    // (and each piece read goes on from a lookup vetted so); `vetted` must
    // outlive the handle's lookups.
    void vetWith(VettedPages &vetted) { vetted_ = &vetted; }
    // The open file, read at offsets beside Berkeley DB (page_file.h).
    PageFile &pages();
    // The length of the item the last vetted lookup found, where known.
    std::optional<uint32_t> itemLength() const { return itemLength_; }

    // Every item in key order; the views are valid during the call only.
    // False when the walk could not reach the end (a damaged page).
    bool forEach(const std::function<void(std::string_view key, std::string_view data)> &visit);

    bool hasPageChecksums() const;
    // The open file's stamp; nothing where it can only be stamped by name.
    std::optional<FileStamp> stamp() const;
    // What the last failure was: the system's text for a system error,
    // Berkeley DB's last message for one of its own.
    const std::string &error() const { return error_; }

    // Berkeley DB's verification of a whole file: true when it found nothing;
    // its messages go to `messages`.
    static bool verify(const std::string &path, std::string &messages);

    // What Berkeley DB said: its last message, and the system's words for
    // the first write that found no room.
    struct Messages {
        std::string last;
        std::string lackOfRoom;
    };

private:
    bool failed(int code);

    bool refusedByVetting(std::string_view key);

    DB *db_ = nullptr;
    DBC *cursor_ = nullptr;
    std::string path_;     // of the open file
    std::string writing_;  // the path of a file being written
    VettedPages *vetted_ = nullptr;
    PageFile pages_;
    std::optional<uint32_t> itemLength_;
    Messages messages_;
    std::string error_;
};

}  // namespace textfind
