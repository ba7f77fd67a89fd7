// The proof of a store folder (format.h): made by the builder from the two
// files it wrote, checked by the library before it reads a pair and by the
// checker, which says what it found.
#pragma once

#include <optional>
#include <string>

#include "format.h"

namespace textfind {

// A file as the proof sees it: its identifier, length and digest over all
// its bytes. Nothing when it cannot be read whole.
std::optional<ProvenFile> proveFile(const std::string &path);

// Whether the file is still `written`: its length, identifier and digest.
bool isIntact(const std::string &path, const ProvenFile &written);

// Just the identifier, from the file's first bytes.
std::optional<FileId> fileIdOf(const std::string &path);

// Writes the proof; false when it could not be written whole.
bool writeProof(const std::string &path, const Proof &proof);

enum class ProofOutcome {
    kAbsent,        // no proof file: stores of another writer, or an older builder
    kNotAProof,     // a file that holds no whole proof (damaged or of another kind)
    kNamesNeither,  // made for two other files: the stores were replaced without it
    kMixed,         // names one of the two files only: they are not one build's pair
    kMatches,       // both files are exactly as the builder wrote them
    kDiffers,       // names both, but one's length or digest is not what was written
};

struct ProofCheck {
    ProofOutcome outcome = ProofOutcome::kAbsent;
    std::optional<Proof> proof;
    bool indexNamed = false;
    bool recordsNamed = false;
    bool indexIntact = false;  // checked only when both are named
    bool recordsIntact = false;
};

// Checks the proof in `folder` against the two stores there; reads both
// files whole when the proof names both.
ProofCheck checkProof(const std::string &folder);

// A pair with this outcome is not read at all; the others are read, and a
// pair without a valid proof as stores of any other writer are.
inline bool refusesPair(ProofOutcome outcome) {
    return outcome == ProofOutcome::kMixed || outcome == ProofOutcome::kDiffers;
}

}  // namespace textfind
