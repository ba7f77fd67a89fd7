#include "store_pair.h"

#include <algorithm>
#include <vector>

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

// A host that moves between a few catalogues keeps each one's facts.
constexpr std::size_t kPairsKept = 8;

PairFacts factsOf(const ProofCheck &check) {
    PairFacts facts;
    facts.refused = refusesPair(check.outcome);
    if (check.outcome == ProofOutcome::kMatches) {
        facts.longestText = check.proof->longestText;
        facts.longestTextKnown = true;
    }
    return facts;
}

}  // namespace

PairFacts &currentPair(StoreFile reads, const BtreeFile &file) {
    static std::vector<MetPair> met;
    const char *readName = reads == StoreFile::kIndex ? kIndexFile : kRecordFile;
    std::optional<FileStamp> read = file.stamp();
    if (!read) read = stampOf(readName);
    const std::optional<FileStamp> proof = stampOf(kProofFile);
    auto readStamp = [&](const MetPair &pair) {
        return reads == StoreFile::kIndex ? pair.index : pair.records;
    };
    // The most recent pair met with this file and this proof.
    for (std::size_t i = 0; i < met.size(); ++i) {
        if (readStamp(met[i]) != read || met[i].proof != proof) continue;
        if (i != 0)
            std::rotate(met.begin(), met.begin() + static_cast<std::ptrdiff_t>(i),
                        met.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return met[0].facts;
    }
    MetPair pair;
    pair.index = reads == StoreFile::kIndex ? read : stampOf(kIndexFile);
    pair.records = reads == StoreFile::kRecords ? read : stampOf(kRecordFile);
    pair.proof = proof;
    pair.facts = factsOf(checkProof(""));
    if (met.size() == kPairsKept) met.pop_back();
    met.insert(met.begin(), pair);
    return met[0].facts;
}

std::optional<uint32_t> deliveryLimit(PairFacts &pair, BtreeFile &records) {
    if (!pair.longestTextKnown) {
        std::string_view data;
        switch (records.get(kLongestTextKey, data)) {
        case Lookup::kNotFound: pair.longestText = std::nullopt; break;
        case Lookup::kFailed: pair.longestText = 0; break;
        case Lookup::kFound:
            pair.longestText = data.size() == kLongestTextSize
                                   ? readU32(reinterpret_cast<const unsigned char *>(data.data()))
                                   : 0;
            break;
        }
        pair.longestTextKnown = true;
    }
    return pair.longestText;
}

}  // namespace textfind
