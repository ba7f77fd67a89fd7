// What textfind-check finds in a folder's stores and stop-word file,
// changing nothing; and the proof it writes for sound stores (--prove).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "page_vetting.h"
#include "proof.h"

namespace textfind::check {

// A finding, named by the key or record it concerns.
struct Finding {
    std::string file;
    std::string what;  // e.g. "key in small letters"
    std::string key;   // the key's bytes, or empty
    std::optional<int32_t> record;
};

struct StoreFacts {
    std::string file;
    bool readable = false;                  // the file could be opened at all
    std::string unreadable;                 // why not, when it could not
    bool verified = false;                  // Berkeley DB's own verification passed
    std::vector<std::string> verification;  // its messages when it failed
    // The first page the library would refuse to hand to Berkeley DB.
    std::optional<UnsoundPage> unsoundPage;
};

struct Report {
    std::string folder;
    StoreFacts index, records;
    ProofCheck proof;
    // Word index.
    std::size_t keys = 0, postings = 0;
    std::map<std::string, std::size_t> categories;  // code (up to its NUL) -> postings
    // Code -> records of the record store that a posting of that code names.
    std::map<std::string, std::size_t> recordsByCategory;
    // Record store.
    std::size_t recordCount = 0, longestText = 0;
    std::optional<uint32_t> longestTextEntry;
    std::optional<std::string> codePage;  // the texts', where the builder recorded it
    // Stop words: the entries that can matter (the empty one cannot).
    bool stopWordsPresent = false;
    std::size_t stopWords = 0;

    std::vector<Finding> problems;  // at most kListed of each kind
    std::map<std::string, std::size_t> problemCounts;
    std::vector<Finding> notes;  // as problems, but harmless
    std::map<std::string, std::size_t> noteCounts;

    bool unreadable() const { return !index.readable || !records.readable; }
    // The tools' statuses: 0 clean, 1 problems found, 3 a store unreadable.
    int exitStatus() const { return unreadable() ? 3 : problemCounts.empty() ? 0 : 1; }
};

// How many findings of one kind are listed; all are counted.
inline constexpr std::size_t kListed = 50;

// Told what a check is doing: the phase, how far (0 of 0 where that is not
// known), and once at its end.
using Told =
    std::function<void(const std::string &phase, uint64_t done, uint64_t total, bool finished)>;

Report checkFolder(const std::string &folder, const Told &told = {});

// Berkeley DB's verification of one file in this process: 0 passed, 1
// failed, with its messages, one a line. checkFolder runs it in a child.
int verifyInPlace(const std::string &path, std::string &messages);

// Writes a proof of pages for the stores of `folder`, which `report` found
// sound whatever their proof said, in place of any proof there (as a pair
// the library then checks page by page). False, with why, when the stores
// are not sound or the proof cannot be written.
bool proveFolder(const std::string &folder, const Report &report, std::string &why);

// The proof's finding in words a catalogue keeper can act on.
std::string proofWords(const ProofCheck &proof);

std::string humanReport(const Report &report);
std::string jsonReport(const Report &report);

}  // namespace textfind::check
