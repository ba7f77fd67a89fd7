#include "store_pair.h"

#include <algorithm>
#include <list>

#include "btree_file.h"
#include "file_stamp.h"
#include "format.h"
#include "proof.h"

namespace textfind {

namespace {

void learnProof(PairFacts &facts, const ProofCheck &check) {
    facts.refused = refusesPair(check.outcome);
    if (const std::optional<uint32_t> longest = check.longestText()) {
        facts.longestText = longest;
        facts.longestTextKnown = true;
    }
    if (check.outcome == ProofOutcome::kNamesBoth) facts.pageProof = check.pages;
}

}  // namespace

PairStamps pairStampsNow() {
    return {stampOf(kIndexFile), stampOf(kRecordFile), stampOf(kProofFile)};
}

PairFacts *currentPair(StoreFile reads, BtreeFile &file) {
    // A list: the facts keep their place while others come and go.
    static std::list<PairFacts> met;
    const char *readName = reads == StoreFile::kIndex ? kIndexFile : kRecordFile;
    std::optional<FileStamp> read = file.stamp();
    if (!read) read = stampOf(readName);
    PairStamps now;
    now.index = reads == StoreFile::kIndex ? read : stampOf(kIndexFile);
    now.records = reads == StoreFile::kRecords ? read : stampOf(kRecordFile);
    now.proof = stampOf(kProofFile);
    // The most recent pair met with these files first.
    const auto found = std::find_if(met.begin(), met.end(),
                                    [&](const PairFacts &pair) { return pair.stamps == now; });
    if (found != met.end()) {
        met.splice(met.begin(), met, found);
    } else {
        if (met.size() == kPairsKept) met.pop_back();
        met.emplace_front().stamps = now;
        learnProof(met.front(), checkProof("", ProofDepth::kIdentities));
    }
    PairFacts &facts = met.front();
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
