#include "stores.h"

#include <db.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <queue>
#include <random>
#include <string_view>
#include <unordered_map>

#include "postings.h"
#include "scramble.h"
#include "store.h"
#include "words.h"

namespace textfind::build {

namespace {

// Closes the handle on every path; removes the file unless released.
class StoreWriter {
public:
    explicit StoreWriter(std::string path) : path_(std::move(path)) {
        std::remove(path_.c_str());
        if (db_create(&db_, nullptr, 0) != 0) {
            db_ = nullptr;
            throw std::runtime_error("cannot create a database handle");
        }
        // Keys go in ascending: the tree grows at its right edge, and a small
        // cache holds that edge.
        db_->set_cachesize(db_, 0, 8u << 20, 1);
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

// A temporary file of the build, removed with the object.
class RunFile {
public:
    explicit RunFile(const std::string &path)
        : path_(path), file_(std::fopen(path.c_str(), "w+b")) {
        if (!file_) throw std::runtime_error(path + ": cannot create a temporary file");
        std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
    }
    ~RunFile() {
        std::fclose(file_);
        std::remove(path_.c_str());
    }
    RunFile(const RunFile &) = delete;
    RunFile &operator=(const RunFile &) = delete;

    void write(const void *data, std::size_t size) {
        if (std::fwrite(data, 1, size, file_) != size)
            throw std::runtime_error(path_ + ": write error (is the disk full?)");
    }
    void read(void *data, std::size_t size) {
        if (std::fread(data, 1, size, file_) != size)
            throw std::runtime_error(path_ + ": read error");
    }
    void seek(long offset) {
        if (std::fseek(file_, offset, SEEK_SET) != 0)
            throw std::runtime_error(path_ + ": seek error");
    }

private:
    std::string path_;
    std::FILE *file_;
};

// Record keys compare as their 4 bytes do, least significant first: as this
// number, those bytes read most significant first.
uint32_t sortKeyOf(int32_t record) {
    unsigned char key[4];
    encodeRecordKey(record, key);
    return static_cast<uint32_t>(key[0]) << 24 | static_cast<uint32_t>(key[1]) << 16 |
           static_cast<uint32_t>(key[2]) << 8 | key[3];
}

struct RecordRef {
    uint32_t sortKey;
    uint32_t line;
    uint32_t offset;  // in the run's text arena
    uint32_t length;
};

struct Entry {  // one posting while building
    uint32_t word;
    int32_t record;
    char category[2];
};

bool entryLess(const Entry &a, const Entry &b) {
    return a.word != b.word ? a.word < b.word : a.record < b.record;
}

// Where a run's postings of one word lie.
struct Group {
    uint32_t word;
    long offset;
    uint32_t count;
};

struct PostingRun {
    std::unique_ptr<RunFile> file;  // none: the last run, still in memory
    std::vector<Group> groups;      // by word
    std::vector<Entry> entries;     // the last run's postings
};

// A run of records read back in key order.
struct RecordCursor {
    RunFile *file = nullptr;
    const std::vector<RecordRef> *refs = nullptr;  // the last run, in memory
    const std::string *arena = nullptr;
    std::size_t index = 0, size = 0;
    RecordRef current{};
    std::string text;

    bool advance() {
        if (index == size) return false;
        if (file) {
            uint32_t header[3];
            file->read(header, sizeof header);
            current = {header[0], header[1], 0, header[2]};
            text.resize(current.length);
            if (current.length) file->read(text.data(), current.length);
        } else {
            current = (*refs)[index];
            text.assign(*arena, current.offset, current.length);
        }
        ++index;
        return true;
    }
};

}  // namespace

struct StoreBuilder::State {
    std::string folder;
    std::string sourceName;
    BuildLimits limits;
    std::string prefix;  // of this build's temporary files
    int runFiles = 0;
    StoreSummary summary;

    // Records.
    std::string arena;
    std::vector<RecordRef> refs;
    std::vector<std::unique_ptr<RunFile>> recordRuns;
    std::vector<std::size_t> recordRunSizes;

    // Words and postings.
    std::unordered_map<std::string, uint32_t> wordIds;
    std::vector<const std::string *> wordNames;
    std::vector<Entry> entries;
    std::vector<PostingRun> postingRuns;
    std::vector<uint32_t> rankOf;  // scratch of closePostingRun, all zero between runs
    std::vector<uint32_t> wordsOfRecord;
    std::string normal;

    std::string temporary(const char *what) { return prefix + what + std::to_string(runFiles++); }

    void spillRecords() {
        std::sort(refs.begin(), refs.end(),
                  [](const RecordRef &a, const RecordRef &b) { return a.sortKey < b.sortKey; });
        auto file = std::make_unique<RunFile>(temporary("records"));
        for (const RecordRef &ref : refs) {
            const uint32_t header[3] = {ref.sortKey, ref.line, ref.length};
            file->write(header, sizeof header);
            file->write(arena.data() + ref.offset, ref.length);
        }
        file->seek(0);
        recordRuns.push_back(std::move(file));
        recordRunSizes.push_back(refs.size());
        refs.clear();
        arena.clear();
    }

    // Sorts the gathered postings by word, in the words' byte order, then by
    // record, and indexes them by word; to a file unless they are the last
    // run. Every run is then read once, front to back, in the final merge.
    void closePostingRun(bool toFile) {
        std::vector<uint32_t> present;
        rankOf.resize(wordNames.size());
        for (const Entry &entry : entries) {
            if (rankOf[entry.word] == 0) present.push_back(entry.word);
            rankOf[entry.word] = 1;
        }
        std::sort(present.begin(), present.end(),
                  [&](uint32_t a, uint32_t b) { return *wordNames[a] < *wordNames[b]; });
        for (uint32_t r = 0; r < present.size(); ++r) rankOf[present[r]] = r + 1;
        std::sort(entries.begin(), entries.end(), [&](const Entry &a, const Entry &b) {
            return rankOf[a.word] != rankOf[b.word] ? rankOf[a.word] < rankOf[b.word]
                                                    : a.record < b.record;
        });
        for (uint32_t word : present) rankOf[word] = 0;

        PostingRun run;
        if (toFile) run.file = std::make_unique<RunFile>(temporary("postings"));
        for (std::size_t i = 0; i < entries.size();) {
            std::size_t end = i;
            while (end < entries.size() && entries[end].word == entries[i].word) ++end;
            const auto count = static_cast<uint32_t>(end - i);
            run.groups.push_back({entries[i].word, static_cast<long>(i), count});
            if (toFile) run.file->write(entries.data() + i, count * sizeof(Entry));
            i = end;
        }
        if (toFile) {
            run.file->seek(0);
            entries.clear();
        } else {
            run.entries.swap(entries);
        }
        postingRuns.push_back(std::move(run));
    }
};

StoreBuilder::StoreBuilder(std::string folder, std::string sourceName, BuildLimits limits)
    : state_(std::make_unique<State>()) {
    state_->folder = folder.empty() ? std::string(".") : folder;
    state_->sourceName = std::move(sourceName);
    state_->limits = limits;
    state_->prefix = state_->folder + "/.textfind-build." +
                     std::to_string(std::random_device{}() % 1000000) + ".";
    state_->wordIds.reserve(1 << 16);
}

StoreBuilder::~StoreBuilder() = default;

std::size_t StoreBuilder::records() const { return state_->summary.records; }
std::size_t StoreBuilder::words() const { return state_->wordNames.size(); }

void StoreBuilder::add(const CatalogueRecord &record, std::size_t line) {
    State &s = *state_;
    ++s.summary.records;
    s.summary.longestText = std::max(s.summary.longestText, record.text.size());

    if (s.arena.size() + record.text.size() > s.limits.recordRunBytes && !s.refs.empty())
        s.spillRecords();
    const auto offset = static_cast<uint32_t>(s.arena.size());
    s.arena += record.text;
    scrambleInPlace(std::span<char>(s.arena.data() + offset, record.text.size()));
    s.refs.push_back({sortKeyOf(record.number), static_cast<uint32_t>(line), offset,
                      static_cast<uint32_t>(record.text.size())});

    // Each word once per record.
    s.wordsOfRecord.clear();
    forEachWord(record.text, [&](std::string_view word) {
        s.normal = wordNormalForm(word);
        auto [it, fresh] =
            s.wordIds.try_emplace(s.normal, static_cast<uint32_t>(s.wordNames.size()));
        if (fresh) s.wordNames.push_back(&it->first);
        s.wordsOfRecord.push_back(it->second);
    });
    std::sort(s.wordsOfRecord.begin(), s.wordsOfRecord.end());
    s.wordsOfRecord.erase(std::unique(s.wordsOfRecord.begin(), s.wordsOfRecord.end()),
                          s.wordsOfRecord.end());
    const char code[2] = {record.category.size() > 0 ? record.category[0] : '\0',
                          record.category.size() > 1 ? record.category[1] : '\0'};
    for (uint32_t word : s.wordsOfRecord) {
        if (s.entries.size() == s.limits.postingRunEntries) s.closePostingRun(true);
        s.entries.push_back({word, record.number, {code[0], code[1]}});
    }
}

StoreSummary StoreBuilder::finish() {
    State &s = *state_;
    const std::string suffix = ".tmp." + std::to_string(std::random_device{}() % 1000000);
    StoreWriter recordsFile(s.folder + "/opere.ddb" + suffix);

    // Records: the runs merged in key order; a key met twice is a repeated
    // record number.
    std::sort(s.refs.begin(), s.refs.end(),
              [](const RecordRef &a, const RecordRef &b) { return a.sortKey < b.sortKey; });
    std::vector<RecordCursor> cursors(s.recordRuns.size() + 1);
    for (std::size_t r = 0; r < s.recordRuns.size(); ++r) {
        cursors[r].file = s.recordRuns[r].get();
        cursors[r].size = s.recordRunSizes[r];
    }
    cursors.back().refs = &s.refs;
    cursors.back().arena = &s.arena;
    cursors.back().size = s.refs.size();
    auto later = [&](std::size_t a, std::size_t b) {
        return cursors[a].current.sortKey > cursors[b].current.sortKey;
    };
    std::priority_queue<std::size_t, std::vector<std::size_t>, decltype(later)> heap(later);
    for (std::size_t c = 0; c < cursors.size(); ++c)
        if (cursors[c].advance()) heap.push(c);
    bool previous = false;
    uint32_t previousKey = 0, previousLine = 0;
    while (!heap.empty()) {
        const std::size_t c = heap.top();
        heap.pop();
        const RecordRef &ref = cursors[c].current;
        if (previous && ref.sortKey == previousKey) {
            const uint32_t k = ref.sortKey;
            const int32_t number =
                static_cast<int32_t>(k >> 24 | (k >> 8 & 0xFF00) | (k << 8 & 0xFF0000) | k << 24);
            failLine(s.sourceName, std::max(ref.line, previousLine),
                     "duplicate record number " + std::to_string(number) + " (first on line " +
                         std::to_string(std::min(ref.line, previousLine)) + ")");
        }
        const unsigned char key[4] = {static_cast<unsigned char>(ref.sortKey >> 24),
                                      static_cast<unsigned char>(ref.sortKey >> 16),
                                      static_cast<unsigned char>(ref.sortKey >> 8),
                                      static_cast<unsigned char>(ref.sortKey)};
        recordsFile.put(key, 4, cursors[c].text.data(), cursors[c].text.size());
        previous = true;
        previousKey = ref.sortKey;
        previousLine = ref.line;
        if (cursors[c].advance()) heap.push(c);
    }
    // The reader refuses any record longer than this, whatever its length
    // field says.
    unsigned char longest[4];
    encodeRecordKey(static_cast<int32_t>(static_cast<uint32_t>(s.summary.longestText)), longest);
    recordsFile.put(kLongestTextKey.data(), kLongestTextKey.size(), longest, sizeof longest);
    recordsFile.finish();
    s.arena = std::string();
    s.refs = std::vector<RecordRef>();
    s.recordRuns.clear();

    // Postings: every word in byte order, its groups from every run merged
    // into one list in ascending record order.
    s.closePostingRun(false);
    StoreWriter indexFile(s.folder + "/opere.idb" + suffix);
    std::vector<uint32_t> order(s.wordNames.size());
    for (uint32_t w = 0; w < order.size(); ++w) order[w] = w;
    std::sort(order.begin(), order.end(),
              [&](uint32_t a, uint32_t b) { return *s.wordNames[a] < *s.wordNames[b]; });
    std::vector<std::size_t> nextGroup(s.postingRuns.size(), 0);
    std::vector<Entry> merged, piece;
    std::string data;
    for (uint32_t word : order) {
        merged.clear();
        for (std::size_t r = 0; r < s.postingRuns.size(); ++r) {
            PostingRun &run = s.postingRuns[r];
            std::size_t &g = nextGroup[r];
            if (g == run.groups.size() || run.groups[g].word != word) continue;
            const Group &group = run.groups[g++];
            const std::size_t before = merged.size();
            if (run.file) {
                piece.resize(group.count);
                run.file->read(piece.data(), group.count * sizeof(Entry));
                merged.insert(merged.end(), piece.begin(), piece.end());
            } else {
                const auto first = run.entries.begin() + group.offset;
                merged.insert(merged.end(), first, first + group.count);
            }
            std::inplace_merge(merged.begin(), merged.begin() + static_cast<std::ptrdiff_t>(before),
                               merged.end(), entryLess);
        }
        data.clear();
        data.reserve(merged.size() * kPostingSize);
        for (const Entry &entry : merged)
            appendPosting(data, entry.record,
                          std::string_view(entry.category, entry.category[1]   ? 2
                                                           : entry.category[0] ? 1
                                                                               : 0));
        const std::string &name = *s.wordNames[word];
        indexFile.put(name.data(), name.size(), data.data(), data.size());
    }
    indexFile.finish();
    s.summary.words = s.wordNames.size();
    s.postingRuns.clear();

    // The record store first: an old index over the new records at worst
    // misses new words, never names a record the store lacks.
    recordsFile.renameTo(s.folder + "/opere.ddb");
    indexFile.renameTo(s.folder + "/opere.idb");
    return s.summary;
}

StoreSummary writeStores(const std::vector<CatalogueRecord> &records, const std::string &folder) {
    StoreBuilder builder(folder, "(records)");
    std::size_t line = 0;
    for (const CatalogueRecord &record : records) builder.add(record, ++line);
    return builder.finish();
}

}  // namespace textfind::build
