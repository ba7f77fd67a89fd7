// The proof of a store folder (format.h): made by the builder from the two
// files it wrote (or by textfind-check --prove for stores it verified),
// checked by the library before it reads a pair and by the checker, which
// says what it found.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "format.h"

namespace textfind {

// A store as a proof of pages sees it: its identifier, page size, pages
// and their digests. Nothing when it cannot be read whole or is no B-tree
// file of whole pages.
struct ProvenStore {
    ProvenPages pages;
    std::vector<uint64_t> digests;
};
std::optional<ProvenStore> provePages(const std::string &path);

// Writes a proof of pages; false when it could not be written whole.
bool writeProof(const std::string &path, const ProvenStore &index, const ProvenStore &records,
                uint32_t longestText);

// An earlier builder's view of a file: its identifier, length and digest
// over all its bytes. Nothing when it cannot be read whole.
std::optional<ProvenFile> proveFile(const std::string &path);

// Just the identifier, from the file's first bytes.
std::optional<FileId> fileIdOf(const std::string &path);

enum class ProofOutcome {
    kAbsent,        // no proof file: stores of another writer, or an older builder
    kNotAProof,     // a file that holds no whole proof (damaged or of another kind)
    kNamesNeither,  // made for two other files: the stores were replaced without it
    kMixed,         // names one of the two files only: they are not one build's pair
    kNamesBoth,     // a proof of pages naming both files at their lengths: each page is
                    // checked against its digest when it is first read
    kMatches,       // both files are exactly as the builder wrote them
    kDiffers,       // names both, but a length, a digest or a page is not what was written
};

enum class ProofForm { kNone, kWholeFiles, kPages };

// How far a check goes: the library checks a proof of pages by the files'
// identities and lengths, and the pages as it reads them; the checker reads
// both stores whole. A proof of whole files is always checked whole.
enum class ProofDepth { kIdentities, kWhole };

struct ProofCheck {
    ProofOutcome outcome = ProofOutcome::kAbsent;
    ProofForm form = ProofForm::kNone;
    std::optional<PageProof> pages;
    std::optional<WholeFileProof> wholeFiles;
    bool indexNamed = false;
    bool recordsNamed = false;
    bool indexIntact = false;  // checked only when both are named
    bool recordsIntact = false;
    // The first page of each file whose digest differs (a whole check of a
    // proof of pages).
    std::optional<uint32_t> firstBadIndexPage, firstBadRecordsPage;
    std::optional<uint32_t> longestText() const;
};

ProofCheck checkProof(const std::string &folder, ProofDepth depth);

// A pair with this outcome is not read at all; the others are read, and a
// pair without a valid proof as stores of any other writer are.
inline bool refusesPair(ProofOutcome outcome) {
    return outcome == ProofOutcome::kMixed || outcome == ProofOutcome::kDiffers;
}

}  // namespace textfind
