#include "catalogue.h"

#include <db.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <unordered_map>

#include "postings.h"
#include "scramble.h"
#include "store.h"
#include "words.h"

namespace textfind::build {

namespace {

[[noreturn]] void failLine(std::string_view source, std::size_t line, const std::string &what) {
    std::ostringstream message;
    message << source << ':' << line << ": " << what;
    throw CatalogueError(message.str());
}

// False if not a decimal integer; values too long for int64 read as out of range.
bool parseRecordNumber(std::string_view field, int64_t &value) {
    const bool negative = field.starts_with('-');
    const std::string_view digits = negative ? field.substr(1) : field;
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    if (digits.size() > 12) {
        value = negative ? INT64_MIN : INT64_MAX;
        return true;
    }
    std::from_chars(field.data(), field.data() + field.size(), value);
    return true;
}

// Closes the handle on every path; removes the file unless released.
class StoreWriter {
public:
    explicit StoreWriter(std::string path) : path_(std::move(path)) {
        std::remove(path_.c_str());
        if (db_create(&db_, nullptr, 0) != 0) {
            db_ = nullptr;
            throw std::runtime_error("cannot create a database handle");
        }
        db_->set_cachesize(db_, 0, 64u << 20, 1);
        // Every page carries a checksum: a reader then sees damage as an
        // error instead of reading it as data.
        db_->set_flags(db_, DB_CHKSUM);
        if (const int rc = db_->open(db_, nullptr, path_.c_str(), nullptr, DB_BTREE,
                                     DB_CREATE | DB_EXCL, 0664);
            rc != 0)
            throw std::runtime_error(path_ + ": " + db_strerror(rc));
    }
    StoreWriter(const StoreWriter &) = delete;
    StoreWriter &operator=(const StoreWriter &) = delete;
    ~StoreWriter() {
        if (db_ != nullptr) db_->close(db_, 0);
        if (!kept_) std::remove(path_.c_str());
    }

    void put(const void *key, std::size_t keySize, const void *data, std::size_t dataSize) {
        DBT k;
        DBT v;
        std::memset(&k, 0, sizeof k);
        std::memset(&v, 0, sizeof v);
        k.data = const_cast<void *>(key);
        k.size = static_cast<u_int32_t>(keySize);
        v.data = const_cast<void *>(data);
        v.size = static_cast<u_int32_t>(dataSize);
        if (const int rc = db_->put(db_, nullptr, &k, &v, 0); rc != 0)
            throw std::runtime_error(path_ + ": " + db_strerror(rc));
    }

    void finish() {
        const int rc = db_->close(db_, 0);
        db_ = nullptr;
        if (rc != 0) throw std::runtime_error(path_ + ": " + db_strerror(rc));
    }

    // Replaces an existing target in one step, on Windows too.
    void renameTo(const std::string &target) {
        std::error_code error;
        std::filesystem::rename(path_, target, error);
        if (error)
            throw std::runtime_error("cannot rename " + path_ + " to " + target + ": " +
                                     error.message());
        kept_ = true;
    }

private:
    std::string path_;
    DB *db_ = nullptr;
    bool kept_ = false;
};

}  // namespace

std::vector<CatalogueRecord> parseCatalogue(std::string_view content, std::string_view sourceName) {
    std::vector<CatalogueRecord> records;
    std::unordered_map<int32_t, std::size_t> firstLine;
    std::size_t lineNumber = 0;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        if (end == std::string_view::npos) end = content.size();
        std::string_view line = content.substr(start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.ends_with('\r')) line.remove_suffix(1);
        if (line.empty() || line.starts_with('#')) continue;
        if (line.find('\0') != std::string_view::npos)
            failLine(sourceName, lineNumber, "NUL byte in line");

        const std::size_t tab1 = line.find('\t');
        const std::size_t tab2 = tab1 == std::string_view::npos ? tab1 : line.find('\t', tab1 + 1);
        if (tab2 == std::string_view::npos)
            failLine(sourceName, lineNumber,
                     "malformed line: expected record number, TAB, category code, TAB, text");
        const std::string_view numberField = line.substr(0, tab1);
        const std::string_view category = line.substr(tab1 + 1, tab2 - tab1 - 1);
        const std::string_view text = line.substr(tab2 + 1);

        int64_t number = 0;
        if (!parseRecordNumber(numberField, number))
            failLine(sourceName, lineNumber,
                     "record number \"" + std::string(numberField) + "\" is not a decimal integer");
        if (number < INT32_MIN || number > INT32_MAX)
            failLine(sourceName, lineNumber,
                     "record number " + std::string(numberField) + " is outside 32 bits");
        if (category.size() > 2)
            failLine(sourceName, lineNumber,
                     "category code \"" + std::string(category) + "\" is longer than 2 bytes");
        const auto record = static_cast<int32_t>(number);
        if (auto [it, fresh] = firstLine.emplace(record, lineNumber); !fresh)
            failLine(sourceName, lineNumber,
                     "duplicate record number " + std::to_string(record) + " (first on line " +
                         std::to_string(it->second) + ")");
        records.push_back({record, std::string(category), std::string(text)});
    }
    return records;
}

std::vector<CatalogueRecord> readCatalogue(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": cannot open");
    std::ostringstream content;
    content << in.rdbuf();
    if (in.bad()) throw std::runtime_error(path + ": read error");
    return parseCatalogue(content.str(), path);
}

StoreSummary writeStores(const std::vector<CatalogueRecord> &records, const std::string &folder) {
    StoreSummary summary;
    summary.records = records.size();

    // word -> (record, index of the record), gathered once per record.
    std::unordered_map<std::string, std::vector<std::pair<int32_t, uint32_t>>> postings;
    std::vector<std::string> wordsOfRecord;
    for (uint32_t r = 0; r < records.size(); ++r) {
        const CatalogueRecord &record = records[r];
        summary.longestText = std::max(summary.longestText, record.text.size());
        wordsOfRecord.clear();
        forEachWord(record.text,
                    [&](std::string_view word) { wordsOfRecord.push_back(wordNormalForm(word)); });
        std::sort(wordsOfRecord.begin(), wordsOfRecord.end());
        wordsOfRecord.erase(std::unique(wordsOfRecord.begin(), wordsOfRecord.end()),
                            wordsOfRecord.end());
        for (std::string &word : wordsOfRecord)
            postings[std::move(word)].emplace_back(record.number, r);
    }
    summary.words = postings.size();

    const std::string base = folder.empty() ? std::string(".") : folder;
    const std::string suffix = ".tmp." + std::to_string(std::random_device{}() % 1000000);
    StoreWriter recordsFile(base + "/opere.ddb" + suffix);
    StoreWriter indexFile(base + "/opere.idb" + suffix);

    // Keys go in in byte order: the B-tree fills fastest that way.
    std::vector<std::pair<std::array<unsigned char, 4>, uint32_t>> keyed;
    keyed.reserve(records.size());
    for (uint32_t r = 0; r < records.size(); ++r) {
        std::pair<std::array<unsigned char, 4>, uint32_t> entry{{}, r};
        unsigned char key[4];
        encodeRecordKey(records[r].number, key);
        std::copy(key, key + 4, entry.first.begin());
        keyed.push_back(entry);
    }
    std::sort(keyed.begin(), keyed.end());
    std::string scrambled;
    for (const auto &[key, r] : keyed) {
        scrambled = records[r].text;
        scrambleInPlace(scrambled);
        recordsFile.put(key.data(), key.size(), scrambled.data(), scrambled.size());
    }
    // The reader refuses any record longer than this, whatever its length
    // field says.
    unsigned char longest[4];
    encodeRecordKey(static_cast<int32_t>(static_cast<uint32_t>(summary.longestText)), longest);
    recordsFile.put(kLongestTextKey.data(), kLongestTextKey.size(), longest, sizeof longest);

    std::vector<const std::string *> keys;
    keys.reserve(postings.size());
    for (const auto &entry : postings) keys.push_back(&entry.first);
    std::sort(keys.begin(), keys.end(),
              [](const std::string *a, const std::string *b) { return *a < *b; });
    std::string data;
    for (const std::string *key : keys) {
        auto &list = postings[*key];
        std::sort(list.begin(), list.end());
        data.clear();
        for (const auto &[number, r] : list) appendPosting(data, number, records[r].category);
        indexFile.put(key->data(), key->size(), data.data(), data.size());
    }

    recordsFile.finish();
    indexFile.finish();
    // The record store first: an old index over the new records at worst
    // misses new words, never names a record the store lacks.
    recordsFile.renameTo(base + "/opere.ddb");
    indexFile.renameTo(base + "/opere.idb");
    return summary;
}

}  // namespace textfind::build
