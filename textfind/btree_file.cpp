#include "btree_file.h"

#include "page_vetting.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
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

constexpr int kLackOfRoom[] = {
    ENOSPC,
    EFBIG,
#ifdef EDQUOT
    EDQUOT,
#endif
};

// The handle's private environment carries the object that keeps its
// messages; the dropped informational messages are progress notes.
void keepMessage(const DB_ENV *environment, const char *, const char *message) {
    if (environment == nullptr || environment->app_private == nullptr) return;
    auto *messages = static_cast<BtreeFile::Messages *>(environment->app_private);
    const std::string_view text = message ? message : "";
    messages->last.assign(text);
    // A cache full of pages that could not be written out fails as EIO;
    // the write that failed first said why.
    if (messages->lackOfRoom.empty())
        for (const int error : kLackOfRoom)
            if (text.ends_with(std::string(": ") + std::strerror(error)))
                messages->lackOfRoom = std::strerror(error);
}
void dropInformation(const DB_ENV *, const char *) {}

void collectMessage(const DB_ENV *environment, const char *, const char *message) {
    auto *messages = static_cast<std::string *>(environment->app_private);
    if (messages == nullptr) return;
    if (!messages->empty()) *messages += '\n';
    *messages += message ? message : "";
}

DB *createHandle(void *messages, void (*onError)(const DB_ENV *, const char *, const char *)) {
    DB *db = nullptr;
    if (injected(StoreCall::Create) != 0 || db_create(&db, nullptr, 0) != 0) return nullptr;
    if (DB_ENV *environment = db->get_env(db)) {
        environment->app_private = messages;
        // Named, so that opening does not look for one: a handle on a file
        // never makes temporary files.
        environment->set_tmp_dir(environment, ".");
    }
    db->set_errcall(db, onError);
    db->set_msgcall(db, dropInformation);
    return db;
}

// A damaged file can make Berkeley DB declare its environment dead ("run
// recovery"); closing then returns early and frees nothing. The handle's
// private environment has nothing to recover, so it is told to close anyway.
int closeHandle(DB *db) {
    if (DB_ENV *environment = db->get_env(db)) environment->set_flags(environment, DB_NOPANIC, 1);
    return db->close(db, 0);
}

DBT item(std::string_view bytes) {
    DBT dbt;
    std::memset(&dbt, 0, sizeof dbt);
    dbt.data = const_cast<char *>(bytes.data());
    dbt.size = static_cast<u_int32_t>(bytes.size());
    return dbt;
}

DBT emptyItem() { return item(std::string_view()); }

std::string_view viewOf(const DBT &dbt) {
    // An empty item may come back without a data pointer.
    return dbt.size == 0 ? std::string_view()
                         : std::string_view(static_cast<const char *>(dbt.data), dbt.size);
}

// The file's meta page, checked before Berkeley DB trusts it; nothing when
// it is fit or the file cannot be read (Berkeley DB then says why). A host
// opens the same files call after call: a file whose stamp was found fit
// costs one stat, not a read.
std::optional<std::string> metaProblemOf(const char *path) {
    static std::array<FileStamp, 4> fit{};
    static std::size_t nextFit = 0;
    const std::optional<FileStamp> stamp = stampOf(path);
    // A device or a pipe is Berkeley DB's to refuse: reading it here could block.
    if (!stamp || !stamp->regular) return std::nullopt;
    if (std::find(fit.begin(), fit.end(), *stamp) != fit.end()) return std::nullopt;
    std::FILE *file = std::fopen(path, "rb");
    if (file == nullptr) return std::nullopt;
    std::setvbuf(file, nullptr, _IONBF, 0);
    unsigned char first[kMetaCheckedBytes];
    const std::size_t got = std::fread(first, 1, sizeof first, file);
    std::fclose(file);
    std::optional<std::string> problem =
        metaPageProblem(std::span<const unsigned char>(first, got), stamp->length);
    if (!problem) {
        fit[nextFit] = *stamp;
        nextFit = (nextFit + 1) % fit.size();
    }
    return problem;
}

}  // namespace

BtreeFile::~BtreeFile() {
    if (cursor_ != nullptr) cursor_->close(cursor_);
    if (db_ != nullptr) closeHandle(db_);
    if (!writing_.empty()) std::remove(writing_.c_str());
}

bool BtreeFile::failed(int code) {
    // The system's words for a system error (a full disk); Berkeley DB's own
    // message for one of its own, which says more than its code.
    if (!messages_.lackOfRoom.empty())
        error_ = messages_.lackOfRoom;
    else if (code > 0 || messages_.last.empty())
        error_ = db_strerror(code);
    else
        error_ = messages_.last;
    return false;
}

OpenResult BtreeFile::open(const char *path, uint32_t cacheBytes, bool readOnly) {
    if (std::optional<std::string> problem = metaProblemOf(path)) {
        error_ = std::move(*problem);
        return OpenResult::kNotOpened;
    }
    auto tryOpen = [&](u_int32_t flags, int &rc) -> DB * {
        rc = 0;
        DB *db = createHandle(&messages_, keepMessage);
        if (db == nullptr) return nullptr;
        if (cacheBytes != 0) db->set_cachesize(db, 0, cacheBytes, 1);
        rc = db->open(db, nullptr, path, nullptr, DB_BTREE, flags, 0664);
        if (rc == 0) return db;
        closeHandle(db);
        return nullptr;
    };
    int rc = 0;
    DB *db = tryOpen(readOnly ? DB_RDONLY : 0, rc);
    // Flags 0 ask for write access to files that are only ever read: a file
    // or a volume that is read-only (a CD, a read-only share or mount) is
    // opened read-only instead.
    if (db == nullptr && !readOnly && (rc == EACCES || rc == EROFS || rc == EPERM))
        db = tryOpen(DB_RDONLY, rc);
    if (db == nullptr) {
        if (rc == 0) return OpenResult::kNoHandle;
        failed(rc);
        return OpenResult::kNotOpened;
    }
    db_ = db;
    path_ = path;
    return OpenResult::kOpened;
}

PageFile &BtreeFile::pages() {
    if (!pages_.isOpen() && db_ != nullptr) {
        int descriptor = -1;
        if (db_->fd(db_, &descriptor) != 0) descriptor = -1;
        pages_.open(descriptor, path_);
    }
    return pages_;
}

bool BtreeFile::refusedByVetting(std::string_view key) {
    itemLength_.reset();
    return vetted_ != nullptr && !vetted_->vetLookup(pages(), key, nullptr, &itemLength_);
}

bool BtreeFile::create(const std::string &path, Layout layout, uint32_t cacheBytes) {
    DB *db = createHandle(&messages_, keepMessage);
    if (db == nullptr) return failed(ENOMEM);
    db->set_cachesize(db, 0, cacheBytes, 1);
    db->set_pagesize(db, layout.pageSize);
    if (layout.checksums) db->set_flags(db, DB_CHKSUM);
    if (const int rc =
            db->open(db, nullptr, path.c_str(), nullptr, DB_BTREE, DB_CREATE | DB_EXCL, 0664);
        rc != 0) {
        closeHandle(db);
        // An existing file is not ours to remove.
        return failed(rc);
    }
    db_ = db;
    writing_ = path;
    return true;
}

bool BtreeFile::put(std::string_view key, std::string_view data) {
    DBT k = item(key);
    DBT v = item(data);
    if (const int rc = db_->put(db_, nullptr, &k, &v, 0); rc != 0) return failed(rc);
    return true;
}

bool BtreeFile::finish() {
    DB *db = db_;
    db_ = nullptr;
    if (db == nullptr) return false;
    if (const int rc = closeHandle(db); rc != 0) return failed(rc);
    writing_.clear();
    return true;
}

Lookup BtreeFile::get(std::string_view key, std::string_view &data) {
    if (refusedByVetting(key)) return Lookup::kRefused;
    DBT k = item(key);
    DBT v = emptyItem();
    int rc = injected(StoreCall::Read);
    if (rc == 0) rc = db_->get(db_, nullptr, &k, &v, 0);
    if (rc == DB_NOTFOUND || rc == DB_KEYEMPTY) return Lookup::kNotFound;
    if (rc != 0) return Lookup::kFailed;
    data = viewOf(v);
    return Lookup::kFound;
}

Lookup BtreeFile::getPiece(std::string_view key, uint32_t offset, std::span<char> into,
                           std::string_view &piece) {
    if (offset == 0 && refusedByVetting(key)) return Lookup::kRefused;
    if (cursor_ == nullptr && db_->cursor(db_, nullptr, &cursor_, 0) != 0) {
        cursor_ = nullptr;
        return Lookup::kFailed;
    }
    DBT k = item(key);
    DBT v = emptyItem();
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

bool BtreeFile::forEach(
    const std::function<void(std::string_view key, std::string_view data)> &visit) {
    DBC *cursor = nullptr;
    if (const int rc = db_->cursor(db_, nullptr, &cursor, 0); rc != 0) return failed(rc);
    DBT k = emptyItem();
    DBT v = emptyItem();
    int rc;
    while ((rc = injected(StoreCall::Read)) == 0 &&
           (rc = cursor->get(cursor, &k, &v, DB_NEXT)) == 0)
        visit(viewOf(k), viewOf(v));
    cursor->close(cursor);
    return rc == DB_NOTFOUND || failed(rc);
}

bool BtreeFile::hasPageChecksums() const {
    u_int32_t flags = 0;
    return db_ != nullptr && db_->get_flags(db_, &flags) == 0 && (flags & DB_CHKSUM) != 0;
}

std::optional<FileStamp> BtreeFile::stamp() const {
    int descriptor = -1;
    if (db_ == nullptr || db_->fd(db_, &descriptor) != 0) return std::nullopt;
    return stampOfDescriptor(descriptor);
}

bool BtreeFile::verify(const std::string &path, std::string &messages) {
    if (std::optional<std::string> problem = metaProblemOf(path.c_str())) {
        messages = std::move(*problem);
        return false;
    }
    DB *db = createHandle(&messages, collectMessage);
    if (db == nullptr) {
        messages = "cannot create a database handle";
        return false;
    }
    // The handle is gone after verify, whatever it returns.
    return db->verify(db, path.c_str(), nullptr, nullptr, 0) == 0;
}

}  // namespace textfind
