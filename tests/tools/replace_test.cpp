// The builder replaces a folder's stores as a pair: a failed step puts the
// earlier files back, and an interrupted build leaves nothing of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "digest.h"
#include "format.h"
#include "stores.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;

// Every name in the folder and what each file holds, by length and digest.
std::map<std::string, std::string> contentsOf(const std::string &folder) {
    std::map<std::string, std::string> contents;
    for (const auto &entry : fs::directory_iterator(folder)) {
        std::string &what = contents[entry.path().filename().string()];
        if (!entry.is_regular_file()) {
            what = "(a folder)";
            continue;
        }
        const std::string bytes = test::readFile(entry.path().string());
        what = std::to_string(bytes.size()) + " bytes, digest " +
               std::to_string(textfind::digestOf(
                   std::span(reinterpret_cast<const unsigned char *>(bytes.data()), bytes.size())));
    }
    return contents;
}

std::vector<textfind::build::CatalogueRecord> records(const char *word, int count) {
    std::vector<textfind::build::CatalogueRecord> out;
    for (int r = 1; r <= count; ++r)
        out.push_back({r, "AB", std::string(word) + " " + std::to_string(r)});
    return out;
}

// The last step, the index's rename, fails (a folder where the index is):
// the record store and the proof that went first are put back.
TEST(PairReplacement, AFailedLastRenamePutsTheEarlierFilesBack) {
    test::TempDir folder;
    textfind::build::writeStores(records("alfa", 20), folder.path());
    fs::remove(folder.file(textfind::kIndexFile));
    fs::create_directory(folder.file(textfind::kIndexFile));
    test::writeFile(folder.file(textfind::kIndexFile) + "/inside", "x");
    const auto before = contentsOf(folder.path());
    try {
        textfind::build::writeStores(records("beta", 30), folder.path());
        ADD_FAILURE() << "the build did not fail";
    } catch (const std::exception &e) {
        EXPECT_NE(std::string(e.what()).find("the earlier stores were put back"), std::string::npos)
            << e.what();
    }
    EXPECT_EQ(contentsOf(folder.path()), before);
}

// A catalogue large enough that the build is still writing its stores when
// the interrupt comes.
std::string largeCatalogue(const test::TempDir &folder) {
    std::string text;
    for (int r = 1; r <= 300000; ++r)
        text += std::to_string(r) + "\tAB\tparola" + std::to_string(r % 997) + " testo " +
                std::to_string(r) + " numero " + std::to_string(r * 7) + "\n";
    return folder.write("large.tsv", text);
}

bool holdsATemporaryFile(const std::string &folder) {
    for (const auto &entry : fs::directory_iterator(folder))
        if (entry.path().filename().string().find(".tmp.") != std::string::npos) return true;
    return false;
}

TEST(PairReplacement, AnInterruptedBuildLeavesTheFolderAsItWas) {
    test::TempDir source;
    const std::string catalogue = largeCatalogue(source);
    for (int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        test::TempDir folder;
        textfind::build::writeStores(records("alfa", 20), folder.path());
        const auto before = contentsOf(folder.path());
        const pid_t child = fork();
        if (child == 0) {
            execl(TEXTFIND_BUILD_TOOL, TEXTFIND_BUILD_TOOL, catalogue.c_str(),
                  folder.path().c_str(), static_cast<char *>(nullptr));
            _exit(127);
        }
        // Interrupted once its new stores are being written.
        bool exited = false;
        int status = 0;
        while (!holdsATemporaryFile(folder.path()))
            if (waitpid(child, &status, WNOHANG) == child) {
                exited = true;
                break;
            }
        ASSERT_FALSE(exited) << "the build ended before it could be interrupted";
        kill(child, signal);
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
        EXPECT_EQ(contentsOf(folder.path()), before);
    }
}

}  // namespace
