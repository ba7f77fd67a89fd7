// Writing the two search stores from catalogue records, in memory bounded
// whatever the catalogue's size: records and postings gather in runs of a
// fixed size, sorted runs beyond the first go to temporary files in the
// destination folder (merged eight at a time, so few files are open), and
// the stores are written from a merge of the runs in key order.
//
// Memory: the runs (BuildLimits: 32 MiB of texts and 2M postings, held
// twice while sorted, about 90 MiB), Berkeley DB's 8 MiB cache for each
// store, under 100 bytes a distinct word, and 20 bytes a posting of the
// most common word while its data item is written (160 MiB in all measured
// for a 1 GB catalogue).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"

namespace textfind::build {

struct StoreSummary {
    std::size_t records = 0;
    std::size_t words = 0;
    std::size_t longestText = 0;
};

// What the runs may hold before they go to disk.
struct BuildLimits {
    std::size_t recordRunBytes = 32u << 20;
    std::size_t postingRunEntries = 2u << 20;  // 12 bytes each, twice over when sorted
    uint32_t cacheBytes = 8u << 20;            // Berkeley DB's, for each store written
};

// Writes "opere.idb" and "opere.ddb" into a folder, with their proof: each
// word (in the normal form queries use) gets one data item holding one
// posting per record that contains it, in ascending record order; texts are
// scrambled. The layouts are format.h's; the record store holds the length
// of the longest text under the key "longest-text". Both are written under
// temporary names in the folder and put in place as a pair (replace.h), so
// a reader never sees a half-built store or a mixed pair it would read.
// Failures throw (CatalogueError for a repeated record number), leaving the
// existing stores as they were.
class StoreBuilder {
public:
    StoreBuilder(std::string folder, std::string sourceName, BuildLimits limits = {});
    ~StoreBuilder();
    StoreBuilder(const StoreBuilder &) = delete;
    StoreBuilder &operator=(const StoreBuilder &) = delete;

    void add(const CatalogueRecord &record, std::size_t line);
    // Writes the stores, recording `codePage` (the texts' code page) where
    // it is known, and puts them in place.
    StoreSummary finish(const std::optional<std::string> &codePage = std::nullopt);
    // Told, while finish writes, how far it is in each store: the file,
    // items written, items in all (done == total once at the end).
    void onProgress(std::function<void(const char *, std::size_t, std::size_t)> progress);

    std::size_t records() const;
    std::size_t words() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

StoreSummary writeStores(const std::vector<CatalogueRecord> &records, const std::string &folder);

}  // namespace textfind::build
