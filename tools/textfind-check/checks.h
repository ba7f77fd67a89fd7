// The checker's parts, one per thing it reads; each adds its findings to
// the report.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "check.h"
#include "stop_words.h"

namespace textfind::check {

// Findings of one kind are all counted, the first kListed listed.
class Findings {
public:
    Findings(std::vector<Finding> &listed, std::map<std::string, std::size_t> &counts)
        : listed_(listed), counts_(counts) {}
    void add(const std::string &file, const std::string &what, std::string_view key = {},
             std::optional<int32_t> record = std::nullopt) {
        if (++counts_[what] <= kListed) listed_.push_back({file, what, std::string(key), record});
    }

private:
    std::vector<Finding> &listed_;
    std::map<std::string, std::size_t> &counts_;
};

struct Sink {
    Findings problems;
    Findings notes;
};

// The record numbers of the record store, ascending, and whether each text
// has a word the index can hold.
struct PresentRecords {
    std::vector<int32_t> numbers;
    std::vector<bool> withWords;
};

// A record as the record store's item shows it.
struct RecordSeen {
    int32_t number;
    bool withWords;
    std::size_t length;
};

// What the postings read so far name among the present records, by their
// place in PresentRecords: any posting, and one of each category code.
struct Referenced {
    explicit Referenced(std::size_t records) : any(records) {}
    std::vector<bool> any;
    std::map<std::string, std::vector<bool>> byCategory;
};

// The checks of one item, the reading of the store aside: each counts the
// item in the report and adds its findings to the sink. A record's facts go
// to `found`; `referenced` marks the present records a posting names.
void checkRecordItem(std::string_view key, std::string_view data, Report &report, Sink &sink,
                     std::vector<RecordSeen> &found);
PresentRecords presentRecords(std::vector<RecordSeen> found, const Report &report, Sink &sink);
void checkIndexItem(std::string_view key, std::string_view data, const StopWords &stopWords,
                    const PresentRecords &present, Report &report, Sink &sink,
                    Referenced &referenced);

// Berkeley DB's verification, in a process of its own.
void verifyStore(const std::string &path, StoreFacts &facts);
// Every page of the tree vetted as the library vets the pages of a lookup;
// the first it would refuse.
std::optional<UnsoundPage> vetPages(const std::string &path, const Told &told);
StopWords checkStopWords(const std::string &path, Report &report, Sink &sink);
PresentRecords checkRecordStore(const std::string &path, Report &report, Sink &sink,
                                const Told &told);
// Which present records some posting names, by their place in `present`;
// the records of each category counted in the report.
std::vector<bool> checkIndex(const std::string &path, const StopWords &stopWords,
                             const PresentRecords &present, Report &report, Sink &sink,
                             const Told &told);

}  // namespace textfind::check
