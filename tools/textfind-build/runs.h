// The external sort of a build: records and postings gathered in memory up
// to a bound, then written to temporary files in the stores' folder, read
// back in key order for the merges.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "format.h"
#include "interrupts.h"
#include "word_table.h"

namespace textfind::build {

// A temporary file of the build, removed with the object.
class RunFile {
public:
    explicit RunFile(const std::string &path) : path_(path) {
        tools::removeOnInterrupt(path_);
        file_ = std::fopen(path.c_str(), "w+b");
        if (!file_) {
            tools::forgetOnInterrupt(path_);
            throw std::runtime_error("cannot write " + path + ": cannot create a temporary file");
        }
        std::setvbuf(file_, nullptr, _IOFBF, 256 << 10);
    }
    ~RunFile() {
        std::fclose(file_);
        std::remove(path_.c_str());
        tools::forgetOnInterrupt(path_);
    }
    RunFile(const RunFile &) = delete;
    RunFile &operator=(const RunFile &) = delete;

    void write(const void *data, std::size_t size) {
        if (std::fwrite(data, 1, size, file_) != size)
            throw std::runtime_error("cannot write " + path_ + ": " + std::strerror(errno));
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
    std::FILE *file_ = nullptr;
};

// Record keys compare as their 4 bytes do, least significant first: as this
// number, those bytes read most significant first.
inline uint32_t sortKeyOf(int32_t record) {
    const RecordKey key = recordKey(record);
    return static_cast<uint32_t>(key[0]) << 24 | static_cast<uint32_t>(key[1]) << 16 |
           static_cast<uint32_t>(key[2]) << 8 | key[3];
}
inline RecordKey keyOfSortKey(uint32_t sortKey) {
    return {static_cast<unsigned char>(sortKey >> 24), static_cast<unsigned char>(sortKey >> 16),
            static_cast<unsigned char>(sortKey >> 8), static_cast<unsigned char>(sortKey)};
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

inline bool recordLess(const Entry &a, const Entry &b) { return a.record < b.record; }

// Runs are merged kFanIn at a time once that many of one level wait, so
// open files and their buffers stay few however long the catalogue.
constexpr std::size_t kFanIn = 8;

template <typename Runs>
bool levelIsFull(const Runs &runs) {
    if (runs.size() < kFanIn) return false;
    return std::all_of(runs.end() - kFanIn, runs.end(),
                       [&](const auto &run) { return run.level == runs.back().level; });
}

// Where a run's postings of one word lie.
struct Group {
    uint32_t word;
    std::size_t offset;  // in entries, for the run in memory
    uint32_t count;
};

struct PostingRun {
    std::unique_ptr<RunFile> file;  // none: the last run, still in memory
    std::vector<Group> groups;      // in the words' byte order
    std::vector<Entry> entries;     // the last run's postings
    int level = 0;
    std::size_t next = 0;  // the group a merge takes next
};

struct RecordRun {
    std::unique_ptr<RunFile> file;
    std::size_t count;
    int level;
};

// A run of records read back in key order.
struct RecordCursor {
    RunFile *file = nullptr;
    const std::vector<RecordRef> *refs = nullptr;  // the last run, in memory
    const std::string *arena = nullptr;
    std::size_t index = 0, size = 0;
    RecordRef current{};
    std::string_view text;
    std::string buffer;  // a file run's current text

    bool advance() {
        if (index == size) return false;
        if (file) {
            uint32_t header[3];
            file->read(header, sizeof header);
            current = {header[0], header[1], 0, header[2]};
            buffer.resize(current.length);
            if (current.length) file->read(buffer.data(), current.length);
            text = buffer;
        } else {
            current = (*refs)[index];
            text = std::string_view(*arena).substr(current.offset, current.length);
        }
        ++index;
        return true;
    }
};

// The records of a build: scrambled texts gathered in runs of a bounded
// size, each sorted by key, those beyond the last in temporary files
// (merged kFanIn at a time), read back merged in key order.
class RecordRuns {
public:
    // A repeated record number is a CatalogueError naming both lines of
    // `sourceName`.
    RecordRuns(std::string prefix, std::size_t runBytes, std::string sourceName);
    void add(int32_t record, std::size_t line, std::string_view stored);
    // Calls sink(key, stored) for every record in key order.
    void merge(const std::function<void(const RecordKey &, std::string_view)> &sink);

private:
    void spill();
    void mergeRuns(std::vector<RecordCursor> &cursors,
                   const std::function<void(const RecordRef &, std::string_view)> &sink);

    std::string prefix_;
    std::size_t runBytes_;
    std::string sourceName_;
    int files_ = 0;
    std::string arena_;
    std::vector<RecordRef> refs_;
    std::vector<RecordRun> runs_;
};

// The postings of a build: gathered in runs of a bounded number, each
// ordered by word (in the words' byte order) then by record, those beyond
// the last in temporary files (merged kFanIn at a time), read back merged.
class PostingRuns {
public:
    PostingRuns(std::string prefix, std::size_t runEntries, const WordTable &words);
    void add(uint32_t word, int32_t record, const char category[2]);
    // Calls sink(word, postings) for every word in byte order, with its
    // postings from every run in ascending record order.
    void merge(const std::function<void(uint32_t, std::span<const Entry>)> &sink);

private:
    void close(bool toFile);
    void mergeRuns(std::span<PostingRun> runs,
                   const std::function<void(uint32_t, std::span<const Entry>)> &sink);

    std::string prefix_;
    std::size_t runEntries_;
    const WordTable &words_;
    int files_ = 0;
    std::vector<Entry> entries_;
    std::vector<Entry> sorted_;  // close's other buffer
    std::vector<PostingRun> runs_;
    std::vector<Entry> merged_;     // one word's postings from every run
    std::vector<uint32_t> counts_;  // close's scratch, all zero between runs
};

}  // namespace textfind::build
