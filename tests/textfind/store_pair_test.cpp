// The pair of stores as the library meets it: proven, refused, or read as
// stores of any other writer; the longest text as the bound of every
// delivery.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "btree_file.h"
#include "format.h"
#include "guarded_buffer.h"
#include "page_vetting.h"
#include "proof.h"
#include "replace.h"
#include "scramble.h"
#include "store_files.h"
#include "stores.h"
#include "textfind.h"

namespace {

namespace fs = std::filesystem;
using test::Delivery;

std::vector<textfind::build::CatalogueRecord> build(const char *word, int records) {
    std::vector<textfind::build::CatalogueRecord> out;
    for (int r = 1; r <= records; ++r)
        out.push_back({r, "AB", std::string(word) + " comune numero " + std::to_string(r)});
    return out;
}

// What a host gets from the stores in the current folder.
struct Answers {
    int32_t count;
    std::vector<Delivery> drained;
    int32_t found;
    bool operator==(const Answers &) const = default;
};

Answers ask(const char *query) {
    Answers answers{ScanDB(query, 0, "**"), test::drain(), 0};
    std::vector<char> buffer(256);
    answers.found = FindDB(2, buffer.data());
    return answers;
}

void copyInto(const std::string &from, const std::string &to,
              std::initializer_list<const char *> names) {
    for (const char *name : names)
        fs::copy_file(from + "/" + name, to + "/" + name, fs::copy_options::overwrite_existing);
}

class StorePair : public ::testing::Test {
protected:
    void SetUp() override {
        textfind::build::writeStores(build("alfa", 30), folder_.path());
        textfind::build::writeStores(build("beta", 40), other_.path());
        ScanDB("", 1, "");
    }
    test::ScratchFolder folder_;
    test::TempDir other_;
};

// The stores were replaced by copying only the two files of another build:
// its proof is not among them, and the proof left behind names neither.
TEST_F(StorePair, TwoFilesOfAnotherBuildAnswerAsThatBuild) {
    const Answers before = ask("alfa comune");
    ASSERT_EQ(before.count, 30);
    fs::current_path(other_.path());
    const Answers theirs = ask("beta comune");
    fs::current_path(folder_.path());
    copyInto(other_.path(), folder_.path(), {textfind::kIndexFile, textfind::kRecordFile});
    EXPECT_EQ(ask("beta comune"), theirs);
}

// One file of another build: the proof names the other one only, and the
// pair is not read at all; the result set stays for when it is whole again.
TEST_F(StorePair, AMixedPairIsRefusedAndTheResultSetStays) {
    ASSERT_EQ(ScanDB("alfa", 0, "**"), 30);
    copyInto(other_.path(), folder_.path(), {textfind::kRecordFile});
    std::vector<char> buffer(256, '#');
    EXPECT_EQ(ResSet(buffer.data()), -2);
    EXPECT_EQ(FindDB(2, buffer.data()), -2);
    EXPECT_EQ(ScanDB("comune", 0, "**"), -2);
    EXPECT_EQ(buffer, std::vector<char>(256, '#'));
    // The third file of that build makes the pair whole: its own answers.
    copyInto(other_.path(), folder_.path(), {textfind::kIndexFile, textfind::kProofFile});
    EXPECT_EQ(ResSet(buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), "beta comune numero 30");
}

// As an editor changes a file: same file, new bytes, and a time of its own,
// since two writes within one tick of the file clock leave the same times.
void writeInPlace(const char *store, const std::string &bytes) {
    static int tick = 0;
    test::writeFile(store, bytes);
    fs::last_write_time(store, fs::file_time_type(std::chrono::seconds(++tick)));
}

// Pages of a store without a proof (another writer's) damaged so that
// Berkeley DB, given them, would loop, read past a page or deliver from the
// wrong place: every call that needs one answers -2 (a drain keeps its
// entry), every other call answers as the undamaged store does, and the
// whole-tree vetting the checker runs names a damaged page.
TEST(StorePages, APageBerkeleyDbCannotTrustIsNeverHandedToIt) {
    test::ScratchFolder folder;
    std::vector<textfind::build::CatalogueRecord> records;
    constexpr int32_t kRecords = 40000, kLongEvery = 500;
    auto textOf = [](int32_t r) {
        return r % kLongEvery == 0 ? "lungo " + std::string(9000, static_cast<char>('a' + r % 26))
                                   : "testo numero " + std::to_string(r);
    };
    for (int32_t r = 1; r <= kRecords; ++r) records.push_back({r, "AB", textOf(r)});
    textfind::build::writeStores(records, ".");
    fs::remove(textfind::kProofFile);
    const std::string intact = test::readFile(textfind::kRecordFile);
    const std::vector<test::PageSeen> pages = test::pagesOf(intact);
    std::vector<uint32_t> leaves, parents, chainEnds;
    for (const test::PageSeen &page : pages) {
        if (page.type == textfind::kLeafPage) leaves.push_back(page.number);
        if (page.type == textfind::kInternalPage && page.level == 2) parents.push_back(page.number);
        // The page of a chain whose next page ends it.
        if (page.type == textfind::kOverflowPage && page.next != 0 && pages[page.next].next == 0)
            chainEnds.push_back(page.number);
    }
    ASSERT_GT(leaves.size(), 20u);
    ASSERT_FALSE(parents.empty());
    ASSERT_FALSE(chainEnds.empty());
    const uint32_t root = textfind::readU32(reinterpret_cast<const unsigned char *>(intact.data()) +
                                            textfind::kMetaRootOffset);
    ASSERT_GT(pages[root].level, 2u) << "a tree of three levels";
    const std::size_t size = intact.size() / pages.size();
    auto page = [&](std::string &bytes, uint32_t number) {
        return bytes.begin() + static_cast<std::ptrdiff_t>(number * size);
    };
    auto u32At = [&](std::string &bytes, std::size_t at, uint32_t value) {
        textfind::writeU32(value, reinterpret_cast<unsigned char *>(bytes.data()) + at);
    };
    struct Row {
        const char *name;
        std::function<void(std::string &)> damage;
        std::vector<uint32_t> damaged;
    };
    const uint32_t a = leaves[5], b = leaves[9];
    const uint32_t end = pages[chainEnds[0]].next;
    const Row rows[] = {
        {"two leaves swapped",
         [&](std::string &bytes) {
             std::swap_ranges(page(bytes, a), page(bytes, a + 1), page(bytes, b));
         },
         {a, b}},
        {"a leaf copied over another",
         [&](std::string &bytes) { std::copy(page(bytes, a), page(bytes, a + 1), page(bytes, b)); },
         {b}},
        {"a zero-filled leaf",
         [&](std::string &bytes) { std::fill(page(bytes, a), page(bytes, a + 1), '\0'); },
         {a}},
        {"a cycle in an overflow chain",
         [&](std::string &bytes) {
             u32At(bytes, end * size + textfind::kPageNextOffset, chainEnds[0]);
         },
         {chainEnds[0], end}},
        {"a child pointing up the tree",
         [&](std::string &bytes) {
             const auto *p = reinterpret_cast<const unsigned char *>(&*page(bytes, parents[0]));
             const uint32_t item = textfind::readU16(p + textfind::kPageHeaderSize);
             u32At(bytes, parents[0] * size + item + textfind::kInternalChildOffset, root);
         },
         {parents[0], root}},
    };
    std::vector<int32_t> sample;
    for (int32_t r = 1; r <= kRecords; r += r % kLongEvery < kLongEvery - 13 ? 13 : 1)
        sample.push_back(r);
    std::vector<char> buffer(10000);
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        std::string bytes = intact;
        row.damage(bytes);
        writeInPlace(textfind::kRecordFile, bytes);
        std::size_t refused = 0;
        for (const int32_t r : sample) {
            const int32_t found = FindDB(r, buffer.data());
            ASSERT_TRUE(found == -2 || (found == 1 && buffer.data() == textOf(r)))
                << "record " << r << ": " << found;
            refused += found == -2;
        }
        EXPECT_GT(refused, 0u);
        // A drain stops at the refusal, the entry kept.
        const int32_t count = ScanDB("lungo", 1, "**");
        ASSERT_EQ(count, kRecords / kLongEvery);
        for (int32_t r = kRecords; r > 0; r -= kLongEvery) {
            const int32_t delivered = ResSet(buffer.data());
            if (delivered == -2) {
                EXPECT_EQ(ResSet(buffer.data()), -2);
                break;
            }
            ASSERT_EQ(delivered, 1);
            EXPECT_EQ(buffer.data(), textOf(r));
        }
        ScanDB("", 1, "");
        textfind::PageFile file;
        textfind::VettedPages vetting;
        ASSERT_TRUE(file.open(-1, textfind::kRecordFile));
        ASSERT_TRUE(vetting.start(file, bytes.size(), std::nullopt));
        const std::optional<textfind::UnsoundPage> unsound = vetting.vetWholeTree(file);
        ASSERT_TRUE(unsound.has_value());
        EXPECT_NE(std::find(row.damaged.begin(), row.damaged.end(), unsound->page),
                  row.damaged.end())
            << unsound->page << ": " << unsound->why;
    }
}

// A proof of the earlier form, of whole files: the pair is still read, and
// still refused once a store is edited.
TEST_F(StorePair, AProofOfTheEarlierFormStillProtects) {
    const Answers proven = ask("alfa comune");
    const auto index = textfind::proveFile(textfind::kIndexFile);
    const auto records = textfind::proveFile(textfind::kRecordFile);
    ASSERT_TRUE(index && records);
    const auto earlier =
        textfind::encodeWholeFileProof({*index, *records, static_cast<uint32_t>(21)});
    test::writeFile(textfind::kProofFile, std::string(earlier.begin(), earlier.end()));
    EXPECT_EQ(ask("alfa comune"), proven);
    std::string bytes = test::readFile(textfind::kRecordFile);
    bytes[bytes.size() - 100] ^= 1;
    writeInPlace(textfind::kRecordFile, bytes);
    EXPECT_EQ(ask("alfa comune"), (Answers{-2, {}, -2}));
}

std::vector<std::string> listing() {
    std::vector<std::string> names;
    for (const auto &entry : fs::directory_iterator(".")) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// A host that meets the folder while a build puts its files in place, one
// by one: the mixed pair is refused, and the finished pair is read as soon
// as its last file is in place.
TEST_F(StorePair, APairRefusedWhileABuildMovesItsFilesIsReadOnceWhole) {
    static std::vector<int32_t> metDuringTheSwap;
    textfind::build::swapStepHook = [](int) {
        std::vector<char> buffer(256);
        metDuringTheSwap.push_back(FindDB(2, buffer.data()));
    };
    textfind::build::writeStores(build("beta", 40), ".");
    textfind::build::swapStepHook = nullptr;
    // The earlier pair, the old pair under a new proof, a mixed pair, the new pair.
    EXPECT_EQ(metDuringTheSwap, (std::vector<int32_t>{1, 1, -2, 1}));
    std::vector<char> buffer(256);
    EXPECT_EQ(FindDB(2, buffer.data()), 1);
    EXPECT_STREQ(buffer.data(), "beta comune numero 2");
}

// A build killed (as SIGKILL would, nothing cleaned up) after each step of
// putting its files in place: a host meets the earlier pair or a refusal,
// never a mixed answer; restoring gives back the earlier pair (or keeps the
// complete new one) and leaves nothing of the build behind.
TEST_F(StorePair, ABuildKilledWhileItMovesItsFilesIsUndone) {
    const Answers alfa = ask("alfa comune");
    fs::current_path(other_.path());
    const Answers beta = ask("beta comune");
    fs::current_path(folder_.path());
    const std::vector<std::string> files = listing();
    const Answers refused{-2, {}, -2};
    static int killAt;
    for (killAt = 0; killAt <= 3; ++killAt) {
        SCOPED_TRACE(killAt);
        std::fflush(nullptr);
        const pid_t child = fork();
        if (child == 0) {
            textfind::build::swapStepHook = [](int moved) {
                if (moved == killAt) _exit(0);
            };
            textfind::build::writeStores(build("beta", 40), ".");
            _exit(1);
        }
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        const Answers met = ask("alfa comune");
        EXPECT_TRUE(met == alfa || met == refused || (killAt == 3 && ask("beta comune") == beta));
        EXPECT_EQ(textfind::build::restoreInterruptedSwap("."),
                  killAt < 3 ? textfind::build::Restored::kPutBack
                             : textfind::build::Restored::kCompleted);
        EXPECT_EQ(listing(), files);
        if (killAt < 3) {
            EXPECT_EQ(ask("alfa comune"), alfa);
        } else {
            EXPECT_EQ(ask("beta comune"), beta);
        }
        EXPECT_EQ(textfind::build::restoreInterruptedSwap("."),
                  textfind::build::Restored::kNothing);
    }
}

// Stores on a read-only mount (a CD, a read-only share): every answer is
// the one the writable folder gives.
TEST_F(StorePair, StoresOnAReadOnlyMountAnswerAsWritableOnes) {
    const Answers writable = ask("alfa comune");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        const char *here = folder_.path().c_str();
        if (unshare(CLONE_NEWNS) != 0 ||
            mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            mount(here, here, nullptr, MS_BIND, nullptr) != 0 ||
            mount(nullptr, here, nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0 ||
            chdir(here) != 0)
            _exit(2);
        if (access(textfind::kIndexFile, W_OK) == 0) _exit(3);
        _exit(ask("alfa comune") == writable ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "no read-only mount can be made here";
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// A record written longer than the longest text by a valid write: the proof
// refuses the edited pair; without the proof, the bound refuses the record,
// and the host's buffer, sized by the entry, is not touched.
TEST_F(StorePair, AnEditedRecordIsRefusedByTheProofOrByTheBound) {
    const std::size_t longest = std::string("alfa comune numero 30").size();
    {
        textfind::BtreeFile store;
        ASSERT_EQ(store.open(textfind::kRecordFile, 0), textfind::OpenResult::kOpened);
        std::string text(longest + 5000, 'x');
        textfind::scrambleInPlace(text);
        const std::string key = test::recordKey(7);
        ASSERT_TRUE(store.put(key, text));
    }
    test::GuardedBuffer buffer(longest + 1);
    EXPECT_EQ(FindDB(7, buffer.data()), -2);
    EXPECT_EQ(FindDB(8, buffer.data()), -2);
    fs::remove(textfind::kProofFile);
    EXPECT_EQ(FindDB(7, buffer.data()), -3);
    EXPECT_TRUE(buffer.untouchedFrom(0));
    EXPECT_EQ(FindDB(8, buffer.data()), 1);
    EXPECT_TRUE(buffer.holdsOneText());
}

// A change made after the pair was met is seen at the next call.
TEST_F(StorePair, AStoreDamagedAfterItWasMetIsRefused) {
    ASSERT_EQ(ScanDB("alfa", 0, "**"), 30);
    std::string bytes = test::readFile(textfind::kIndexFile);
    // A byte of the tree's first page, which every lookup reads.
    const auto *meta = reinterpret_cast<const unsigned char *>(bytes.data());
    const uint32_t root = textfind::readU32(meta + textfind::kMetaRootOffset);
    bytes[root * textfind::readU32(meta + textfind::kMetaPageSizeOffset) + 100] ^= 0x40;
    writeInPlace(textfind::kIndexFile, bytes);
    EXPECT_EQ(ScanDB("alfa", 0, "**"), -2);
}

// The proof itself damaged, or gone: the stores are read as any writer's.
TEST_F(StorePair, WithoutAValidProofTheStoresAreReadAsAnyWritersAre) {
    const Answers proven = ask("alfa numero");
    for (const std::string &proof : {std::string("damaged"), std::string()}) {
        SCOPED_TRACE(proof);
        if (proof.empty())
            fs::remove(textfind::kProofFile);
        else
            test::writeFile(textfind::kProofFile, proof);
        EXPECT_EQ(ask("alfa numero"), proven);
    }
}

// A meta page whose fields would make Berkeley DB divide by zero or read
// out of bounds, in stores without a proof (another writer's): each call
// answers that the store cannot be read, and the checker says why.
TEST_F(StorePair, AMetaPageBerkeleyDbCannotTrustIsNotOpened) {
    fs::remove(textfind::kProofFile);
    struct Row {
        const char *name;
        std::size_t offset;
        std::vector<unsigned char> bytes;
        const char *words;
    };
    const Row rows[] = {
        {"page size 0", textfind::kMetaPageSizeOffset, {0, 0, 0, 0}, "page size 0"},
        {"page size not a power of 2",
         textfind::kMetaPageSizeOffset,
         {0xE8, 3, 0, 0},
         "page size 1000"},
        {"no minimum of keys", textfind::kMetaMinKeyOffset, {0, 0, 0, 0}, "minimum of keys"},
        {"one key a page", textfind::kMetaMinKeyOffset, {1, 0, 0, 0}, "minimum of keys"},
        {"partitions", textfind::kMetaPartitionsOffset, {3, 0, 0, 0}, "partitioned"},
        {"subdatabases", textfind::kMetaFlagsOffset, {0x20, 0, 0, 0}, "another layout"},
        {"a hash file", textfind::kMetaMagicOffset, {0x61, 0x15, 6, 0}, "not a Berkeley DB B-tree"},
        {"a later version", textfind::kMetaVersionOffset, {10, 0, 0, 0}, "version 10"},
        {"another page type", textfind::kMetaTypeOffset, {8}, "page type 8"},
        {"a page cut short", std::string::npos, {}, "not whole pages"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        for (const char *store : {textfind::kIndexFile, textfind::kRecordFile}) {
            std::string bytes = test::readFile(store);
            if (row.offset == std::string::npos)
                bytes.resize(bytes.size() - 100);
            else
                std::copy(row.bytes.begin(), row.bytes.end(), bytes.begin() + row.offset);
            const std::string kept = test::readFile(store);
            {
                // Found fit first: the damage after it must be seen all the same.
                textfind::BtreeFile fit;
                ASSERT_EQ(fit.open(store, 0, true), textfind::OpenResult::kOpened);
            }
            writeInPlace(store, bytes);
            textfind::BtreeFile file;
            EXPECT_EQ(file.open(store, 0, true), textfind::OpenResult::kNotOpened);
            EXPECT_NE(file.error().find(row.words), std::string::npos) << file.error();
            std::string messages;
            EXPECT_FALSE(textfind::BtreeFile::verify(store, messages));
            EXPECT_NE(messages.find(row.words), std::string::npos) << messages;
            std::vector<char> buffer(256);
            if (store == textfind::kIndexFile)
                EXPECT_EQ(ScanDB("alfa", 1, "**"), TEXTFIND_SCAN_NOT_OPENED);
            else
                EXPECT_EQ(FindDB(2, buffer.data()), TEXTFIND_RECORD_NOT_OPENED);
            writeInPlace(store, kept);
        }
    }
    EXPECT_EQ(ScanDB("alfa", 1, "**"), 30);
}

}  // namespace
