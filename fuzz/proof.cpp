// The store proof as the library and the checker meet it, beside a pair the
// builder wrote: what checkProof finds, against a model of the proof's
// rules; a proof read back encodes to its bytes; a refused pair is not read;
// every other pair answers as built, each text held to the proof's longest
// text when the proof vouches for the pair. Input: byte 0 the flags (bit 0:
// reseal, the proof's own digest made anew; bit 1: no proof file; bit 2:
// the proof is as long as the rest of the input), the rest XORed over the
// builder's proof.
#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"
#include "check.h"
#include "digest.h"
#include "format.h"
#include "proof.h"
#include "result_set.h"
#include "store_folder.h"
#include "stores.h"

namespace {

using textfind::ProofOutcome;

const std::vector<textfind::build::CatalogueRecord> kRecords = {
    {1, "RO", "casa rossa"},
    {2, "EE", "casa al mare"},
    {3, "mM", "mare"},
    {4, "PO", "la casa sul mare di Napoli"},
};

struct Built {
    std::string proof;  // the builder's, 104 bytes
    textfind::Proof fields;
};

const Built &built() {
    static const Built *b = [] {
        fuzzing::enterScratchFolder();
        fuzzing::writeFresh(textfind::kStopWordFile, "IL\r\nLA\r\n");
        textfind::build::writeStores(kRecords, ".");
        auto *made = new Built;
        made->proof = fuzzing::readWhole(textfind::kProofFile);
        const auto decoded = textfind::decodeProof(std::span(
            reinterpret_cast<const unsigned char *>(made->proof.data()), made->proof.size()));
        FUZZ_CHECK(decoded.has_value(), "the builder's proof decodes");
        made->fields = *decoded;
        return made;
    }();
    return *b;
}

ProofOutcome expectedOutcome(std::string_view bytes, bool absent, const textfind::Proof &real,
                             textfind::Proof &read) {
    if (absent) return ProofOutcome::kAbsent;
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    if (bytes.size() != textfind::kProofSize || !bytes.starts_with("TFPROOF1") ||
        textfind::readU64(p + 96) != textfind::digestOf(std::span(p, 96)))
        return ProofOutcome::kNotAProof;
    std::copy(p + 8, p + 28, read.index.id.begin());
    read.index.length = textfind::readU64(p + 32);
    read.index.digest = textfind::readU64(p + 40);
    std::copy(p + 48, p + 68, read.records.id.begin());
    read.longestText = textfind::readU32(p + 68);
    read.records.length = textfind::readU64(p + 72);
    read.records.digest = textfind::readU64(p + 80);
    const bool index = read.index.id == real.index.id, records = read.records.id == real.records.id;
    if (!index && !records) return ProofOutcome::kNamesNeither;
    if (index != records) return ProofOutcome::kMixed;
    return read.index == real.index && read.records == real.records ? ProofOutcome::kMatches
                                                                    : ProofOutcome::kDiffers;
}

// The texts a host drains for "casa" in every category, and record 4.
void checkAnswers(bool refused, std::optional<uint32_t> bound) {
    const std::size_t longest = kRecords.back().text.size();
    fuzzing::HostBuffer buffer(longest + 1);
    const auto held = [&](const std::string &text) { return !bound || text.size() <= *bound; };
    const int32_t count = ScanDB("casa", 1, "**EE;MM");
    if (refused) {
        FUZZ_CHECK(count == TEXTFIND_SCAN_NOT_OPENED, "a refused pair is not read");
        FUZZ_CHECK(FindDB(4, buffer.data()) == TEXTFIND_RECORD_NOT_OPENED, "nor its records");
        return;
    }
    FUZZ_CHECK(count == 3, "the pair answers as built");
    for (int32_t record : {4, 2, 1}) {
        const std::string &text = kRecords[static_cast<std::size_t>(record - 1)].text;
        const int32_t delivered = ResSet(buffer.data());
        if (held(text)) {
            FUZZ_CHECK(delivered == TEXTFIND_RECORD_DELIVERED && buffer.text() == text,
                       "a text within the bound is delivered whole");
        } else {
            FUZZ_CHECK(delivered == TEXTFIND_RECORD_MISSING, "a longer text is refused");
        }
    }
    FUZZ_CHECK(ResSet(buffer.data()) == TEXTFIND_RESULT_SET_EMPTY, "then the set is empty");
    FUZZ_CHECK(FindDB(4, buffer.data()) ==
                   (held(kRecords[3].text) ? TEXTFIND_RECORD_DELIVERED : TEXTFIND_RECORD_MISSING),
               "FindDB holds to the same bound");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const Built &b = built();
    if (size == 0) return 0;
    const bool reseal = data[0] & 1, absent = data[0] & 2, sized = data[0] & 4;
    std::string bytes = b.proof;
    if (sized) bytes.resize(size - 1);
    for (std::size_t i = 1; i < size && i - 1 < bytes.size(); ++i)
        bytes[i - 1] = static_cast<char>(bytes[i - 1] ^ data[i]);
    if (reseal && bytes.size() >= textfind::kProofSize) {
        auto *p = reinterpret_cast<unsigned char *>(bytes.data());
        textfind::writeU64(textfind::digestOf(std::span<const unsigned char>(p, 96)), p + 96);
    }
    if (absent)
        unlink(textfind::kProofFile);
    else
        fuzzing::writeFresh(textfind::kProofFile, bytes);

    const std::span<const unsigned char> raw(reinterpret_cast<const unsigned char *>(bytes.data()),
                                             bytes.size());
    const std::optional<textfind::Proof> decoded = textfind::decodeProof(raw);
    if (decoded) {
        // Reserved bytes are read past (a later builder may use them), and
        // written as 0; the proof's own digest covers them.
        const auto encoded = textfind::encodeProof(*decoded);
        for (std::size_t i = 0; i < 96; ++i)
            FUZZ_CHECK(encoded[i] == raw[i] || (i >= 28 && i < 32) || i >= 88,
                       "a proof read back encodes to its bytes");
        FUZZ_CHECK(textfind::decodeProof(encoded) == decoded, "and reads back the same");
    }

    textfind::Proof read;
    const ProofOutcome expected = expectedOutcome(bytes, absent, b.fields, read);
    const textfind::ProofCheck check = textfind::checkProof(".");
    FUZZ_CHECK(check.outcome == expected, "the outcome the proof's rules give");
    FUZZ_CHECK(absent || decoded.has_value() == (expected != ProofOutcome::kNotAProof),
               "a whole proof decodes, any other bytes do not");
    if (decoded && !absent) FUZZ_CHECK(*decoded == read, "each field where the format puts it");

    const bool vouched = expected == ProofOutcome::kMatches;
    checkAnswers(textfind::refusesPair(expected),
                 vouched ? std::optional<uint32_t>(read.longestText) : std::nullopt);
    textfind::resultSet().entries.clear();
    return 0;
}
