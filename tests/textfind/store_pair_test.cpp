// The pair of stores as the library meets it: proven, refused, or read as
// stores of any other writer; the longest text as the bound of every
// delivery.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include "btree_file.h"
#include "format.h"
#include "guarded_buffer.h"
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
    bytes[bytes.size() / 2] ^= 0x40;
    test::writeFile(textfind::kIndexFile, bytes);
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
// As an editor changes a file: same file, new bytes, and a time of its own,
// since two writes within one tick of the file clock leave the same times.
void writeInPlace(const char *store, const std::string &bytes) {
    static int tick = 0;
    test::writeFile(store, bytes);
    fs::last_write_time(store, fs::file_time_type(std::chrono::seconds(++tick)));
}

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
