// The sorted runs of a build: records and postings gathered in memory up to
// a bound, then written to temporary files in the stores' folder, read back
// in key order for the merges.
#pragma once

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "format.h"
#include "interrupts.h"

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

}  // namespace textfind::build
