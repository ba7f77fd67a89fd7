// Helpers for tests that run the library against store files they write.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "btree_file.h"
#include "faults.h"
#include "temp_dir.h"
#include "textfind.h"

namespace test {

// A fresh folder that becomes the current directory for the object's
// lifetime (the library reads fixed names from there); removed afterwards.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder &) = delete;
    ScratchFolder &operator=(const ScratchFolder &) = delete;
    const std::string &path() const { return folder_.path(); }

private:
    std::string previous_;
    test::TempDir folder_;
};

// Writes a B-tree file directly, for layouts the builder never produces.
// Each key gets exactly the data given; 4 KiB pages.
void writeBtree(const std::string &path,
                const std::vector<std::pair<std::string, std::string>> &items,
                bool checksums = false);

// Raw index data from postings (record, two category bytes as given).
std::string postingsData(const std::vector<std::pair<int32_t, std::string>> &postings);

// Record store holding these texts, scrambled as the library expects.
void writeRecordStore(const std::string &path, const std::map<int32_t, std::string> &texts);

std::string recordKey(int32_t record);

// Whether a B-tree file was written with page checksums.
bool hasPageChecksums(const std::string &path);

// Every key/data pair of a B-tree file.
std::map<std::string, std::string> readBtree(const std::string &path);
// The same pairs in the file's key order, as writeBtree takes them.
std::vector<std::pair<std::string, std::string>> readBtreeItems(const std::string &path);

// A page of a B-tree file as its header tells it, for tests that damage
// chosen pages: its place, type, level and next page.
struct PageSeen {
    uint32_t number;
    unsigned char type;
    unsigned level;
    uint32_t next;
};
std::vector<PageSeen> pagesOf(const std::string &bytes);
// The child pages an internal page's entries name, in order.
std::vector<uint32_t> childrenOf(const std::string &bytes, uint32_t page);

// One ResSet outcome: the result code and, for 1, the delivered text.
struct Delivery {
    int32_t code;
    std::string text;
    bool operator==(const Delivery &) const = default;
};

// Calls ResSet until it returns 0 (or `limit` calls); the final 0 is not
// listed. A -2 keeps its entry: after two in a row the drain stops.
std::vector<Delivery> drain(std::size_t limit = 1000000);

using Postings = std::vector<std::pair<int32_t, std::string>>;

// The three exports over stores a test writes into a scratch folder.
// Berkeley DB calls fail as `faults` plan them while it is installed.
class StoreFaults {
public:
    StoreFaults();
    ~StoreFaults();
    StoreFaults(const StoreFaults &) = delete;
    StoreFaults &operator=(const StoreFaults &) = delete;
    Faults faults;
};

class Exports : public ::testing::Test {
protected:
    void SetUp() override {
        ScanDB("", 1, "");  // a previous test in this process may have left entries
    }

    void index(const std::vector<std::pair<std::string, Postings>> &words) {
        std::vector<std::pair<std::string, std::string>> items;
        for (const auto &[word, postings] : words) items.emplace_back(word, postingsData(postings));
        writeBtree("opere.idb", items);
    }
    // Records 1..20 with text "record N", plus the given ones.
    void records(std::map<int32_t, std::string> texts = {}) {
        for (int32_t r = 1; r <= 20; ++r) texts.emplace(r, "record " + std::to_string(r));
        writeRecordStore("opere.ddb", texts);
    }
    static std::vector<Delivery> textsOf(std::initializer_list<int32_t> numbers) {
        std::vector<Delivery> out;
        for (int32_t n : numbers) out.push_back({1, "record " + std::to_string(n)});
        return out;
    }

    ScratchFolder folder_;
};

}  // namespace test
