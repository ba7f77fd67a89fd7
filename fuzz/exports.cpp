// The three exports over a store pair whose bytes the fuzzer changes, as a
// host calls them: ScanDB, ResSet until the set is empty, FindDB. Either the
// pair has no proof (as stores of another writer), or a proof made over the
// changed bytes (as if the builder had written them), so that every change
// reaches the library's vetting of the pages, Berkeley DB's reading of
// them, and the library's reading of what it answers. Whatever the bytes, each call gives one of
// its codes, a query's count is what ResSet then delivers, and no text goes past the host's buffer
// or the proof's longest text. Input: byte 0 the flags (bit 0: a proof; bits 1-2: the query), 4
// bytes the index's length, 4 bytes the proof's longest text, then the index's bytes and the record
// store's, packed: 0xFE and a 2-byte count stand for that many zero bytes (a count of 0 for one
// 0xFE), since most of a store's pages are empty space the fuzzer need not mutate byte by byte.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "check.h"
#include "format.h"
#include "proof.h"
#include "result_set.h"
#include "store_folder.h"

namespace {

struct Query {
    const char *words;
    int32_t mode;
    const char *selector;
};
constexpr Query kQueries[] = {
    {"casa", 1, "**"},
    {"casa mare", 1, "**EE;MM"},
    {"rossa mare Napoli", 0, "ROPO"},
    {"il mare", 0, "mMEE"},
};

std::string unpacked(std::string_view packed) {
    std::string out;
    for (std::size_t i = 0; i < packed.size(); ++i) {
        if (packed[i] != '\xFE' || i + 2 >= packed.size()) {
            out += packed[i];
            continue;
        }
        const std::size_t count = static_cast<unsigned char>(packed[i + 1]) |
                                  std::size_t{static_cast<unsigned char>(packed[i + 2])} << 8;
        out.append(count == 0 ? std::string(1, '\xFE') : std::string(count, '\0'));
        i += 2;
    }
    return out;
}

bool isRecordCode(int32_t code) {
    return code == TEXTFIND_RECORD_DELIVERED || code == TEXTFIND_RECORD_MISSING ||
           code == TEXTFIND_RECORD_NO_HANDLE || code == TEXTFIND_RECORD_NOT_OPENED;
}

// A delivered text ends in the buffer and keeps to the bound.
void checkDelivery(int32_t code, const fuzzing::HostBuffer &buffer, std::optional<uint32_t> bound) {
    FUZZ_CHECK(isRecordCode(code), "a record code");
    if (code != TEXTFIND_RECORD_DELIVERED) return;
    const std::string_view text = buffer.text();
    FUZZ_CHECK(!bound || text.size() <= *bound, "no text longer than the proof's bound");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const bool entered = (fuzzing::enterScratchFolder(),
                                 fuzzing::writeFresh(textfind::kStopWordFile, "IL\r\nE\r\n"), true);
    (void)entered;
    if (size < 9) return 0;
    const bool proven = data[0] & 1;
    const Query &query = kQueries[data[0] >> 1 & 3];
    const std::string stores =
        unpacked(std::string_view(reinterpret_cast<const char *>(data) + 9, size - 9));
    const std::size_t indexLength =
        std::min<std::size_t>(textfind::readU32(data + 1), stores.size());
    const uint32_t longest = textfind::readU32(data + 5);
    const std::string_view bytes(stores);
    const std::string_view index = bytes.substr(0, indexLength);
    const std::string_view records = bytes.substr(indexLength);

    fuzzing::writeFresh(textfind::kIndexFile, index);
    fuzzing::writeFresh(textfind::kRecordFile, records);
    std::optional<uint32_t> bound;
    if (proven) {
        // Stores that are no B-tree of whole pages get no proof of pages.
        const auto indexPages = textfind::provePages(textfind::kIndexFile);
        const auto recordPages = textfind::provePages(textfind::kRecordFile);
        unlink(textfind::kProofFile);
        if (indexPages && recordPages) {
            FUZZ_CHECK(textfind::writeProof("proof.new", *indexPages, *recordPages, longest),
                       "a proof written");
            fuzzing::writeFresh(textfind::kProofFile, fuzzing::readWhole("proof.new"));
            bound = longest;
        }
    } else {
        unlink(textfind::kProofFile);
    }

    // Replaying inputs that made Berkeley DB fail before its pages were vetted
    // (FUZZ_EXPECT_REFUSAL set): some call must meet the damage and refuse it.
    static const bool expectRefusal = std::getenv("FUZZ_EXPECT_REFUSAL") != nullptr;
    bool refused = false;

    // No text is longer than the file that holds it.
    fuzzing::HostBuffer buffer(records.size() + 1);
    textfind::resultSet().entries.clear();
    const int32_t count = ScanDB(query.words, query.mode, query.selector);
    refused |= count == TEXTFIND_SCAN_NOT_OPENED;
    FUZZ_CHECK(count >= 0 || count == TEXTFIND_SCAN_NO_HANDLE || count == TEXTFIND_SCAN_NOT_OPENED,
               "a count or a scan code");
    if (count < 0)
        FUZZ_CHECK(ResSet(buffer.data()) == TEXTFIND_RESULT_SET_EMPTY,
                   "a failed query leaves the (empty) set it found");
    for (int32_t taken = 0; count > 0;) {
        const int32_t code = ResSet(buffer.data());
        if (code == TEXTFIND_RESULT_SET_EMPTY) {
            FUZZ_CHECK(taken == count, "the set holds the count's records");
            break;
        }
        checkDelivery(code, buffer, bound);
        refused |= code == TEXTFIND_RECORD_NOT_OPENED;
        // -1 and -2 leave the entry: a host stops there.
        if (code == TEXTFIND_RECORD_NO_HANDLE || code == TEXTFIND_RECORD_NOT_OPENED) break;
        FUZZ_CHECK(++taken <= count, "no more records than the count");
    }
    for (int32_t record : {1, 2, 3, 4, INT32_MIN, -1, 0, INT32_MAX}) {
        const int32_t code = FindDB(record, buffer.data());
        checkDelivery(code, buffer, bound);
        refused |= code == TEXTFIND_RECORD_NOT_OPENED;
    }
    if (expectRefusal) FUZZ_CHECK(refused, "the damage Berkeley DB failed on refused");
    return 0;
}
