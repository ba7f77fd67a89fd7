#include "store_files.h"

#include <db.h>

#include <cstring>
#include <filesystem>
#include <stdexcept>

#include "scramble.h"
#include "store.h"
#include "textfind.h"

namespace test {

namespace {
Faults *installed = nullptr;
std::optional<int> planned(textfind::StoreCall call) {
    const std::optional<uint32_t> code = installed->next(call);
    return code ? std::optional<int>(static_cast<int>(*code)) : std::nullopt;
}
}  // namespace

StoreFaults::StoreFaults() {
    installed = &faults;
    textfind::storeFaultHook = &planned;
}

StoreFaults::~StoreFaults() {
    textfind::storeFaultHook = nullptr;
    installed = nullptr;
}

ScratchFolder::ScratchFolder() : previous_(std::filesystem::current_path().string()) {
    std::filesystem::current_path(folder_.path());
}

// Runs before folder_ is removed, so the process never sits in a deleted folder.
ScratchFolder::~ScratchFolder() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

void writeBtree(const std::string &path,
                const std::vector<std::pair<std::string, std::string>> &items, bool checksums) {
    std::filesystem::remove(path);
    DB *db = nullptr;
    if (db_create(&db, nullptr, 0) != 0) throw std::runtime_error("db_create failed");
    if (checksums) db->set_flags(db, DB_CHKSUM);
    if (db->open(db, nullptr, path.c_str(), nullptr, DB_BTREE, DB_CREATE, 0664) != 0) {
        db->close(db, 0);
        throw std::runtime_error("cannot create " + path);
    }
    for (const auto &[key, data] : items) {
        DBT k;
        DBT v;
        std::memset(&k, 0, sizeof k);
        std::memset(&v, 0, sizeof v);
        k.data = const_cast<char *>(key.data());
        k.size = static_cast<u_int32_t>(key.size());
        v.data = const_cast<char *>(data.data());
        v.size = static_cast<u_int32_t>(data.size());
        if (db->put(db, nullptr, &k, &v, 0) != 0) {
            db->close(db, 0);
            throw std::runtime_error("put failed in " + path);
        }
    }
    db->close(db, 0);
}

std::string recordKey(int32_t record) {
    const auto bits = static_cast<uint32_t>(record);
    std::string key(4, '\0');
    for (int i = 0; i < 4; ++i)
        key[static_cast<std::size_t>(i)] = static_cast<char>(bits >> (8 * i));
    return key;
}

std::string postingsData(const std::vector<std::pair<int32_t, std::string>> &postings) {
    std::string data;
    for (const auto &[record, code] : postings) {
        data += recordKey(record);
        std::string bytes = code;
        bytes.resize(2, '\0');
        data += bytes;
        data += "\xAA\x55";  // reserved bytes: any value must do
    }
    return data;
}

void writeRecordStore(const std::string &path, const std::map<int32_t, std::string> &texts) {
    std::vector<std::pair<std::string, std::string>> items;
    for (const auto &[record, text] : texts) {
        std::string scrambled = text;
        textfind::scrambleInPlace(scrambled);
        items.emplace_back(recordKey(record), scrambled);
    }
    writeBtree(path, items);
}

std::map<std::string, std::string> readBtree(const std::string &path) {
    std::map<std::string, std::string> items;
    DB *db = nullptr;
    if (db_create(&db, nullptr, 0) != 0) throw std::runtime_error("db_create failed");
    if (db->open(db, nullptr, path.c_str(), nullptr, DB_BTREE, DB_RDONLY, 0) != 0) {
        db->close(db, 0);
        throw std::runtime_error("cannot open " + path);
    }
    DBC *cursor = nullptr;
    db->cursor(db, nullptr, &cursor, 0);
    DBT k;
    DBT v;
    std::memset(&k, 0, sizeof k);
    std::memset(&v, 0, sizeof v);
    while (cursor->get(cursor, &k, &v, DB_NEXT) == 0) {
        items.emplace(std::string(static_cast<char *>(k.data), k.size),
                      std::string(static_cast<char *>(v.data), v.size));
    }
    cursor->close(cursor);
    db->close(db, 0);
    return items;
}

std::vector<std::pair<std::string, std::string>> readBtreeItems(const std::string &path) {
    const std::map<std::string, std::string> items = readBtree(path);
    return {items.begin(), items.end()};
}

bool hasPageChecksums(const std::string &path) {
    DB *db = nullptr;
    if (db_create(&db, nullptr, 0) != 0) throw std::runtime_error("db_create failed");
    u_int32_t flags = 0;
    const bool opened = db->open(db, nullptr, path.c_str(), nullptr, DB_BTREE, DB_RDONLY, 0) == 0;
    if (opened) db->get_flags(db, &flags);
    db->close(db, 0);
    if (!opened) throw std::runtime_error("cannot open " + path);
    return (flags & DB_CHKSUM) != 0;
}

std::vector<Delivery> drain(std::size_t limit) {
    std::vector<Delivery> out;
    std::vector<char> buffer(1 << 16);
    for (std::size_t i = 0; i < limit; ++i) {
        const int32_t code = ResSet(buffer.data());
        if (code == 0) break;
        out.push_back({code, code == 1 ? std::string(buffer.data()) : std::string()});
    }
    return out;
}

}  // namespace test
