// The store proof as the library meets it, beside a pair the builder wrote:
// what checkProof finds, against a model of the proof's rules; a proof read
// back encodes to its bytes; a refused pair is not read; every other pair
// answers as built, each text held to the proof's longest text when the
// proof vouches for the pair, or, where the proof's page digests were
// changed, answers as built or refuses the call. Input: byte 0 the flags
// (bit 0: reseal, the proof's own digest made anew; bit 1: no proof file;
// bit 2: the proof is as long as the rest of the input; bit 3: an earlier
// builder's proof of whole files), the rest XORed over the proof.
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
    std::string pageProof;       // the builder's
    std::string wholeFileProof;  // an earlier builder's, of the same stores
    textfind::PageProof pages;
    textfind::WholeFileProof wholeFiles;
};

std::span<const unsigned char> bytesOf(std::string_view text) {
    return {reinterpret_cast<const unsigned char *>(text.data()), text.size()};
}

const Built &built() {
    static const Built *b = [] {
        fuzzing::enterScratchFolder();
        fuzzing::writeFresh(textfind::kStopWordFile, "IL\r\nLA\r\n");
        textfind::build::writeStores(kRecords, ".");
        auto *made = new Built;
        made->pageProof = fuzzing::readWhole(textfind::kProofFile);
        const auto decoded = textfind::decodePageProofHeader(bytesOf(made->pageProof));
        FUZZ_CHECK(decoded.has_value(), "the builder's proof decodes");
        made->pages = *decoded;
        const auto index = textfind::proveFile(textfind::kIndexFile);
        const auto records = textfind::proveFile(textfind::kRecordFile);
        FUZZ_CHECK(index && records, "the stores read whole");
        made->wholeFiles = {*index, *records, decoded->longestText};
        const auto earlier = textfind::encodeWholeFileProof(made->wholeFiles);
        made->wholeFileProof.assign(earlier.begin(), earlier.end());
        return made;
    }();
    return *b;
}

enum class Answers { kAsBuilt, kAsBuiltOrRefused, kRefused };

struct Expected {
    Expected(ProofOutcome outcome, Answers answers = Answers::kAsBuilt,
             std::optional<uint32_t> bound = std::nullopt)
        : outcome(outcome), answers(answers), bound(bound) {}
    ProofOutcome outcome;
    Answers answers;
    std::optional<uint32_t> bound;
};

Expected expectedOfWholeFiles(std::string_view bytes, const textfind::WholeFileProof &real) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    if (bytes.size() != textfind::kWholeFileProofSize || !bytes.starts_with("TFPROOF1") ||
        textfind::readU64(p + 96) != textfind::digestOf(std::span(p, 96)))
        return {ProofOutcome::kNotAProof};
    textfind::WholeFileProof read;
    std::copy(p + 8, p + 28, read.index.id.begin());
    read.index.length = textfind::readU64(p + 32);
    read.index.digest = textfind::readU64(p + 40);
    std::copy(p + 48, p + 68, read.records.id.begin());
    read.longestText = textfind::readU32(p + 68);
    read.records.length = textfind::readU64(p + 72);
    read.records.digest = textfind::readU64(p + 80);
    const bool index = read.index.id == real.index.id, records = read.records.id == real.records.id;
    if (!index && !records) return {ProofOutcome::kNamesNeither};
    if (index != records) return {ProofOutcome::kMixed, Answers::kRefused};
    if (read.index == real.index && read.records == real.records)
        return {ProofOutcome::kMatches, Answers::kAsBuilt, read.longestText};
    return {ProofOutcome::kDiffers, Answers::kRefused};
}

Expected expectedOfPages(std::string_view bytes, const Built &b) {
    const auto *p = reinterpret_cast<const unsigned char *>(bytes.data());
    if (bytes.size() < 80 || !bytes.starts_with("TFPROOF2") ||
        textfind::readU64(p + 72) != textfind::digestOf(std::span(p, 72)))
        return {ProofOutcome::kNotAProof};
    auto pagesAt = [&](std::size_t at) {
        textfind::ProvenPages pages;
        std::copy(p + at, p + at + 20, pages.id.begin());
        pages.pageSize = textfind::readU32(p + at + 20);
        pages.pages = textfind::readU32(p + at + 24);
        return pages;
    };
    const textfind::ProvenPages index = pagesAt(8), records = pagesAt(36);
    auto fit = [](const textfind::ProvenPages &pages) {
        return pages.pageSize >= 512 && pages.pageSize <= 65536 &&
               (pages.pageSize & (pages.pageSize - 1)) == 0 && pages.pages > 0;
    };
    if (!fit(index) || !fit(records) ||
        bytes.size() != 80 + 8 * (uint64_t{index.pages} + records.pages))
        return {ProofOutcome::kNotAProof};
    const bool indexNamed = index.id == b.pages.index.id;
    const bool recordsNamed = records.id == b.pages.records.id;
    if (!indexNamed && !recordsNamed) return {ProofOutcome::kNamesNeither};
    if (indexNamed != recordsNamed) return {ProofOutcome::kMixed, Answers::kRefused};
    if (index.length() != b.pages.index.length() || records.length() != b.pages.records.length())
        return {ProofOutcome::kDiffers, Answers::kRefused};
    const uint32_t longest = textfind::readU32(p + 64);
    // Digests and page counts as built: every page is found sound.
    if (index == b.pages.index && records == b.pages.records &&
        bytes.substr(80) == std::string_view(b.pageProof).substr(80))
        return {ProofOutcome::kNamesBoth, Answers::kAsBuilt, longest};
    return {ProofOutcome::kNamesBoth, Answers::kAsBuiltOrRefused, longest};
}

// The texts a host drains for "casa" in every category, and record 4.
void checkAnswers(const Expected &expected) {
    const std::size_t longest = kRecords.back().text.size();
    fuzzing::HostBuffer buffer(longest + 1);
    const std::optional<uint32_t> bound = expected.bound;
    const auto held = [&](const std::string &text) { return !bound || text.size() <= *bound; };
    const bool mayRefuse = expected.answers == Answers::kAsBuiltOrRefused;
    const int32_t count = ScanDB("casa", 1, "**EE;MM");
    if (expected.answers == Answers::kRefused) {
        FUZZ_CHECK(count == TEXTFIND_SCAN_NOT_OPENED, "a refused pair is not read");
        FUZZ_CHECK(FindDB(4, buffer.data()) == TEXTFIND_RECORD_NOT_OPENED, "nor its records");
        return;
    }
    FUZZ_CHECK(count == 3 || (mayRefuse && count == TEXTFIND_SCAN_NOT_OPENED),
               "the pair answers as built");
    for (int32_t record : {4, 2, 1}) {
        if (count != 3) break;
        const std::string &text = kRecords[static_cast<std::size_t>(record - 1)].text;
        const int32_t delivered = ResSet(buffer.data());
        if (mayRefuse && delivered == TEXTFIND_RECORD_NOT_OPENED) break;
        if (held(text)) {
            FUZZ_CHECK(delivered == TEXTFIND_RECORD_DELIVERED && buffer.text() == text,
                       "a text within the bound is delivered whole");
        } else {
            FUZZ_CHECK(delivered == TEXTFIND_RECORD_MISSING, "a longer text is refused");
        }
    }
    const int32_t found = FindDB(4, buffer.data());
    FUZZ_CHECK(
        found == (held(kRecords[3].text) ? TEXTFIND_RECORD_DELIVERED : TEXTFIND_RECORD_MISSING) ||
            (mayRefuse && found == TEXTFIND_RECORD_NOT_OPENED),
        "FindDB holds to the same bound");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const Built &b = built();
    if (size == 0) return 0;
    const bool reseal = data[0] & 1, absent = data[0] & 2, sized = data[0] & 4,
               earlier = data[0] & 8;
    std::string bytes = earlier ? b.wholeFileProof : b.pageProof;
    if (sized) bytes.resize(size - 1);
    for (std::size_t i = 1; i < size && i - 1 < bytes.size(); ++i)
        bytes[i - 1] = static_cast<char>(bytes[i - 1] ^ data[i]);
    auto *p = reinterpret_cast<unsigned char *>(bytes.data());
    const std::size_t sealed = earlier ? 96 : 72;
    if (reseal && bytes.size() >= sealed + 8)
        textfind::writeU64(textfind::digestOf(std::span<const unsigned char>(p, sealed)),
                           p + sealed);
    if (absent)
        unlink(textfind::kProofFile);
    else
        fuzzing::writeFresh(textfind::kProofFile, bytes);

    if (const auto decoded = textfind::decodeWholeFileProof(bytesOf(bytes))) {
        // Reserved bytes are read past (a later builder may use them), and
        // written as 0; the proof's own digest covers them.
        const auto encoded = textfind::encodeWholeFileProof(*decoded);
        for (std::size_t i = 0; i < 96; ++i)
            FUZZ_CHECK(encoded[i] == p[i] || (i >= 28 && i < 32) || i >= 88,
                       "a proof read back encodes to its bytes");
        FUZZ_CHECK(textfind::decodeWholeFileProof(encoded) == decoded, "and reads back the same");
    }
    if (const auto decoded = textfind::decodePageProofHeader(bytesOf(bytes))) {
        const auto encoded = textfind::encodePageProofHeader(*decoded);
        for (std::size_t i = 0; i < 72; ++i)
            FUZZ_CHECK(encoded[i] == p[i] || (i >= 68 && i < 72),
                       "a proof read back encodes to its bytes");
    }

    Expected expected{ProofOutcome::kAbsent};
    if (!absent)
        expected = earlier ? expectedOfWholeFiles(bytes, b.wholeFiles) : expectedOfPages(bytes, b);
    const textfind::ProofCheck check = textfind::checkProof(".", textfind::ProofDepth::kIdentities);
    FUZZ_CHECK(check.outcome == expected.outcome, "the outcome the proof's rules give");
    checkAnswers(expected);
    textfind::resultSet().entries.clear();
    return 0;
}
