#include "replchar.h"
#include "text_byte_replacer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "destination_cases.h"
#include "hostutil.h"
#include "small_filesystem.h"
#include "temp_dir.h"

namespace {

using test::readFile;
using test::TempDir;
using test::writeFile;
using namespace std::string_literals;

// Byte-at-a-time statement of the text rules: what the reader delivers, then
// replacement, then what the writer stores.
std::string modelReplace(const std::string &source, unsigned char from, unsigned char to) {
    std::string destination;
    for (std::size_t i = 0; i < source.size(); ++i) {
        auto delivered = static_cast<unsigned char>(source[i]);
        if (delivered == 0x1A) break;
        if (delivered == '\r' && i + 1 < source.size() && source[i + 1] == '\n') {
            delivered = '\n';
            ++i;
        }
        if (delivered == from) delivered = to;
        if (delivered == '\n') destination += '\r';
        destination += static_cast<char>(delivered);
    }
    return destination;
}

// Feeds `source` to a TextByteReplacer in blocks of the given sizes (cycled).
std::string replaceInBlocks(const std::string &source, unsigned char from, unsigned char to,
                            const std::vector<std::size_t> &blockSizes) {
    hostutil::TextByteReplacer replacer(from, to);
    std::string destination;
    std::size_t at = 0;
    for (std::size_t b = 0; at < source.size(); ++b) {
        const std::size_t size = std::min(blockSizes[b % blockSizes.size()], source.size() - at);
        std::vector<unsigned char> block(source.begin() + static_cast<std::ptrdiff_t>(at),
                                         source.begin() + static_cast<std::ptrdiff_t>(at + size));
        std::vector<unsigned char> out(hostutil::TextByteReplacer::maxOutputSize(size));
        const std::size_t produced = replacer.transform(block, out.data());
        EXPECT_LE(produced, out.size());
        destination.append(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(produced));
        at += size;
    }
    unsigned char tail[2];
    const std::size_t produced = replacer.finish(tail);
    destination.append(tail, tail + produced);
    return destination;
}

struct ReplaceCase {
    const char *what;
    std::string source;
    int32_t fromByte;
    int32_t toByte;
    std::string destination;
};

const std::vector<ReplaceCase> &replaceCases() {
    static const std::vector<ReplaceCase> cases = {
        {"plain replacement", "a;b;z", ';', ',', "a,b,z"},
        {"empty source", "", ';', ',', ""},
        {"CR LF read as LF, replaced", "x\r\ny", '\n', ' ', "x y"},
        {"lone LF written as CR LF", "x\ny", '#', '#', "x\r\ny"},
        {"lone LF replaced", "x\ny", '\n', '|', "x|y"},
        {"only lone CRs match CR", "a\rb\r\nz", '\r', '-', "a-b\r\nz"},
        {"to-byte LF written as CR LF", "a;b", ';', '\n', "a\r\nb"},
        {"0x1A ends the input", "ab\x1Ayz", ';', ',', "ab"},
        {"from-byte 0x1A never matches", "a\x1A", 0x1A, 'x', "a"},
        {"trailing CR stays", "ab\r", ';', ',', "ab\r"},
        {"trailing CR replaced", "ab\r", '\r', '!', "ab!"},
        {"CR before 0x1A stays", "a\r\x1A\n", ';', ',', "a\r"},
        {"CR CR LF", "a\r\r\nb", ';', ',', "a\r\r\nb"},
        {"LF CR", "a\n\rb", ';', ',', "a\r\n\rb"},
        {"last byte written once", "abc", 'c', 'd', "abd"},
        {"text copy", "l1\r\nl2\nl3\rx\x1Atail", 'q', 'q', "l1\r\nl2\r\nl3\rx"},
        {"high bits ignored", "a;b", 0x13B, ',', "a,b"},
        {"-1 matches 0xFF",
         "a\xFF"
         "b",
         -1, '.', "a.b"},
        {"0xFF copied unless matched",
         "a\xFF"
         "b",
         ';', ',',
         "a\xFF"
         "b"},
        {"NUL bytes copied", "a\0b\0"s, ';', ',', "a\0b\0"s},
        {"NUL replaced", "a\0b"s, 0, ' ', "a b"},
        {"replaced by NUL", "a b", ' ', 0, "a\0b"s},
        {"replaced by CR", "a b\n", ' ', '\r', "a\rb\r\n"},
        {"replaced by 0x1A is written", "a b", ' ', 0x1A,
         "a\x1A"
         "b"},
        {"to-byte high bits ignored", "a b", ' ', 0x141, "aAb"},
    };
    return cases;
}

TEST(ReplChar, Examples) {
    TempDir dir;
    const std::string source = dir.file("in.txt"), destination = dir.file("out.txt");
    for (const ReplaceCase &c : replaceCases()) {
        SCOPED_TRACE(c.what);
        writeFile(source, c.source);
        writeFile(destination, "left over from an earlier run");
        EXPECT_EQ(ReplChar(source.c_str(), destination.c_str(), c.fromByte, c.toByte), 1);
        EXPECT_EQ(readFile(destination), c.destination);
        EXPECT_EQ(readFile(source), c.source);
    }
}

TEST(ReplChar, ExamplesInEveryBlockSplit) {
    for (const ReplaceCase &c : replaceCases()) {
        SCOPED_TRACE(c.what);
        const auto from = static_cast<unsigned char>(c.fromByte & 0xFF);
        const auto to = static_cast<unsigned char>(c.toByte & 0xFF);
        for (std::size_t first = 1; first <= c.source.size(); ++first)
            EXPECT_EQ(replaceInBlocks(c.source, from, to, {first, 1, 2, 3}), c.destination);
    }
}

// Random streams rich in the bytes the rules single out, every class of
// from-byte and to-byte, random block boundaries.
TEST(ReplChar, MatchesModelOnRandomStreams) {
    std::mt19937 random(1208);
    const std::vector<unsigned char> special = {'\r', '\n', 0x1A, 0x00, 0xFF, 'a', 0x80};
    const std::vector<unsigned char> byteClasses = {'\r', '\n', 0x1A, 0x00, 0xFF, 'a', 'z', 0x80};
    for (int round = 0; round < 300; ++round) {
        std::string source(std::uniform_int_distribution<std::size_t>(0, 600)(random), '\0');
        for (char &c : source) {
            c = static_cast<char>(random() % 4 == 0 ? random() & 0xFF
                                                    : special[random() % special.size()]);
        }
        // Keep 0x1A rare enough that most streams run past several line ends.
        if (random() % 2 == 0) std::erase(source, '\x1A');
        std::vector<std::size_t> blocks;
        for (int b = 0; b < 4; ++b) blocks.push_back(1 + random() % 100);
        for (unsigned char from : byteClasses) {
            for (unsigned char to : byteClasses) {
                ASSERT_EQ(replaceInBlocks(source, from, to, blocks), modelReplace(source, from, to))
                    << "round " << round << " from " << int(from) << " to " << int(to);
            }
        }
    }
}

TEST(ReplChar, LargeFileMatchesModelAcrossInternalBlocks) {
    // Several internal blocks; a CR ends every 64 KiB stretch, followed in
    // turn by an LF or by another byte.
    std::mt19937 random(77);
    std::string source((1 << 20) + 12345, 'x');
    for (char &c : source) c = "ab;\r\n\xFF "[random() % 7];
    for (std::size_t edge = 65536; edge < source.size(); edge += 65536) {
        source[edge - 1] = '\r';
        source[edge] = (edge / 65536) % 2 ? 'q' : '\n';
    }
    source.back() = '\r';
    TempDir dir;
    const std::string in = dir.file("big.txt"), out = dir.file("big.out");
    writeFile(in, source);
    ASSERT_EQ(ReplChar(in.c_str(), out.c_str(), ';', '\n'), 1);
    EXPECT_TRUE(readFile(out) == modelReplace(source, ';', '\n'));
}

TEST(ReplChar, FilesThatCannotBeOpened) {
    TempDir dir;
    const std::string source = dir.file("in.txt"), destination = dir.file("out.txt");
    writeFile(source, "a;b\n");

    // A missing source leaves an existing destination as it was.
    writeFile(destination, "keep me");
    EXPECT_EQ(ReplChar(dir.file("missing.txt").c_str(), destination.c_str(), ';', ','), 0);
    EXPECT_EQ(readFile(destination), "keep me");

    // ...and creates no destination.
    const std::string fresh = dir.file("fresh.txt");
    EXPECT_EQ(ReplChar(dir.file("missing.txt").c_str(), fresh.c_str(), ';', ','), 0);
    EXPECT_FALSE(std::filesystem::exists(fresh));

    const std::string inMissingFolder = dir.file("no-such-folder/out.txt");
    EXPECT_EQ(ReplChar(source.c_str(), inMissingFolder.c_str(), ';', ','), 0);
    EXPECT_EQ(readFile(source), "a;b\n");
    EXPECT_FALSE(std::filesystem::exists(inMissingFolder));

    // A folder is no text file, on any platform.
    EXPECT_EQ(ReplChar(dir.path().c_str(), fresh.c_str(), ';', ','), 0);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(ReplChar(source.c_str(), dir.path().c_str(), ';', ','), 0);

    EXPECT_EQ(ReplChar(nullptr, destination.c_str(), ';', ','), 0);
    EXPECT_EQ(ReplChar(source.c_str(), nullptr, ';', ','), 0);
}

// Writing the source onto itself would empty it before it is read.
TEST(ReplChar, SameFileIsRefusedAndLeftIntact) {
    TempDir dir;
    const std::string source = dir.file("same.txt");
    const std::string content = "a;b\r\nc;d\n";
    writeFile(source, content);
    std::filesystem::create_directory(dir.file("sub"));

    std::vector<std::string> otherNames = {
        source,
        dir.file("sub/../same.txt"),
        dir.file("./same.txt"),
    };
    std::error_code linkError;
    std::filesystem::create_hard_link(source, dir.file("hard.txt"), linkError);
    if (!linkError) otherNames.push_back(dir.file("hard.txt"));
    std::filesystem::create_symlink(source, dir.file("soft.txt"), linkError);
    if (!linkError) otherNames.push_back(dir.file("soft.txt"));

    for (const std::string &destination : otherNames) {
        SCOPED_TRACE(destination);
        EXPECT_EQ(ReplChar(source.c_str(), destination.c_str(), ';', ','), 0);
        EXPECT_EQ(readFile(source), content);
    }
    // A copy with the same content is a different file.
    writeFile(dir.file("copy.txt"), content);
    EXPECT_EQ(ReplChar(source.c_str(), dir.file("copy.txt").c_str(), ';', ','), 1);
    EXPECT_EQ(readFile(dir.file("copy.txt")), "a,b\r\nc,d\r\n");
}

// A full disk must not pass for a finished copy.
TEST(ReplChar, WriteFailureIsReported) {
    if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
    TempDir dir;
    const std::string source = dir.file("in.txt");
    writeFile(source, std::string(100000, 'x'));
    EXPECT_EQ(ReplChar(source.c_str(), "/dev/full", 'x', 'y'), 0);
    writeFile(source, "");
    EXPECT_EQ(ReplChar(source.c_str(), "/dev/full", 'x', 'y'), 1) << "nothing to write";
}

// The copy replaces the destination only when complete: a full disk leaves
// it holding what it held, with no stray file beside it.
TEST(ReplChar, AFullDiskLeavesTheEarlierDestinationWhole) {
    test::SmallFilesystem small;
    TempDir dir;
    const std::string source = dir.file("in.txt");
    writeFile(source, std::string(200000, 'x'));
    const std::string earlier = "the earlier destination\r\n" + std::string(20000, 'e');
    const std::string destination = small.file("out.txt");
    writeFile(destination, earlier);
    EXPECT_EQ(
        small.whileFull([&] { return ReplChar(source.c_str(), destination.c_str(), 'x', 'y'); }), 0)
        << small.kind();
    EXPECT_EQ(readFile(destination), earlier);
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(small.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"out.txt"});
}

// A source that grows between the two passes, on a disk with room for the
// measured copy only: the copy is of the source as measured, and complete.
TEST(ReplChar, ASourceThatGrowsAfterItWasMeasuredIsCopiedAsMeasured) {
    test::SmallFilesystem small;
    TempDir dir;
    const std::string source = dir.write("in.txt", std::string(40000, 'x'));
    const std::string destination = small.file("out.txt");
    writeFile(destination, std::string(30000, 'e'));
    std::FILE *input = std::fopen(source.c_str(), "rb");
    ASSERT_NE(input, nullptr);
    hostutil::TextCopy copy(input, 'x', 'y');
    hostutil::platform::DestinationFile output(destination.c_str());
    const std::optional<uint64_t> length = copy.measure();
    ASSERT_EQ(length, 40000u);
    writeFile(source, std::string(70000, 'x'));
    const bool copied = small.whileFull(
        [&] { return output.reserve(*length) && copy.writeTo(output) && output.finish(); });
    std::fclose(input);
    EXPECT_TRUE(copied) << small.kind();
    EXPECT_EQ(readFile(destination), std::string(40000, 'y'));
}

// The destination is opened as a plain open for writing would open it: the
// caller's rights, the file's identity, pipes and devices as they are.
TEST(ReplChar, ReachesEachDestinationAsAPlainOpenForWritingWould) {
    test::checkDestinationCases({[](const std::string &destination, const std::string &content) {
                                     return ReplChar(test::stagedFile(content).c_str(),
                                                     destination.c_str(), '#', '#');
                                 },
                                 HOSTUTIL_REPLACE_DONE, HOSTUTIL_REPLACE_FAILED});
}

TEST(ReplChar, AReplacedFileKeepsItsPermissionBitsAndItsLinks) {
    TempDir dir;
    const std::string source = dir.write("in.txt", "a;b\n");
    const std::string target = dir.write("target.txt", "earlier");
    ::chmod(target.c_str(), 0640);
    const std::string link = dir.file("link.txt");
    std::filesystem::create_symlink("target.txt", link);
    for (const std::string &destination : {target, link}) {
        SCOPED_TRACE(destination);
        writeFile(target, "earlier");
        ASSERT_EQ(ReplChar(source.c_str(), destination.c_str(), ';', ','), 1);
        EXPECT_EQ(readFile(target), "a,b\r\n");
        EXPECT_TRUE(std::filesystem::is_symlink(link));
        struct stat info;
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, 0640u);
    }
}

}  // namespace
