#include "store_pair.h"

#include <algorithm>
#include <list>

#include "btree_file.h"
#include "file_stamp.h"
#include "format.h"
#include "proof.h"

namespace textfind {

namespace {

struct MetPair {
    std::optional<FileStamp> index, records, proof;
    PairFacts facts;
};

void learnProof(PairFacts &facts, const ProofCheck &check) {
    facts.refused = refusesPair(check.outcome);
    if (const std::optional<uint32_t> longest = check.longestText()) {
        facts.longestText = longest;
        facts.longestTextKnown = true;
    }
    if (check.outcome == ProofOutcome::kNamesBoth) facts.pageProof = check.pages;
}

}  // namespace

PairFacts *currentPair(StoreFile reads, BtreeFile &file) {
    // A list: the facts keep their place while others come and go.
    static std::list<MetPair> met;
    const char *readName = reads == StoreFile::kIndex ? kIndexFile : kRecordFile;
    std::optional<FileStamp> read = file.stamp();
    if (!read) read = stampOf(readName);
    // All three files name the pair: a pair met while a build was putting
    // its files in place one by one is another pair than the finished one.
    MetPair now;
    now.index = reads == StoreFile::kIndex ? read : stampOf(kIndexFile);
    now.records = reads == StoreFile::kRecords ? read : stampOf(kRecordFile);
    now.proof = stampOf(kProofFile);
    auto same = [&](const MetPair &pair) {
        return pair.index == now.index && pair.records == now.records && pair.proof == now.proof;
    };
    // The most recent pair met with these files first.
    if (const auto found = std::find_if(met.begin(), met.end(), same); found != met.end()) {
        met.splice(met.begin(), met, found);
    } else {
        if (met.size() == kPairsKept) met.pop_back();
        met.push_front(std::move(now));
        learnProof(met.front().facts, checkProof("", ProofDepth::kIdentities));
    }
    PairFacts &facts = met.front().facts;
    if (facts.refused || !read) return nullptr;
    VettedPages &pages = reads == StoreFile::kIndex ? facts.index : facts.records;
    if (!pages.started()) {
        std::optional<PageDigests> digests;
        if (facts.pageProof)
            digests = PageDigests{kProofFile, *facts.pageProof, reads == StoreFile::kRecords};
        if (!pages.start(file.pages(), read->length, digests)) return nullptr;
    }
    file.vetWith(pages);
    return &facts;
}

bool deliveryLimit(PairFacts &pair, BtreeFile &records, std::optional<uint32_t> &limit) {
    if (!pair.longestTextKnown) {
        std::string_view data;
        switch (records.get(kLongestTextKey, data)) {
        case Lookup::kRefused: return false;
        case Lookup::kNotFound: pair.longestText = std::nullopt; break;
        case Lookup::kFailed: pair.longestText = 0; break;
        case Lookup::kFound: pair.longestText = decodeLongestText(data).value_or(0); break;
        }
        pair.longestTextKnown = true;
    }
    limit = pair.longestText;
    return true;
}

}  // namespace textfind
