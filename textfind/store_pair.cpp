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
    // All three files name the pair: a pair met while a build was putting
    // its files in place one by one is another pair than the finished one.
    MetPair now;
    now.index = reads == StoreFile::kIndex ? read : stampOf(kIndexFile);
    now.records = reads == StoreFile::kRecords ? read : stampOf(kRecordFile);
    now.proof = stampOf(kProofFile);
    // The most recent pair met with these files.
    for (std::size_t i = 0; i < met.size(); ++i) {
        if (met[i].index != now.index || met[i].records != now.records || met[i].proof != now.proof)
            continue;
        if (i != 0)
            std::rotate(met.begin(), met.begin() + static_cast<std::ptrdiff_t>(i),
                        met.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return met[0].facts;
    }
    MetPair pair = now;
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
