// Printing and the default printer through the Linux backend and a private
// CUPS server whose default queue "capture" keeps each job's bytes.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <cups/cups.h>

#include "destination_cases.h"
#include "hostutil.h"
#include "platform/platform.h"
#include "platform_double.h"
#include "temp_dir.h"

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;

namespace {

fs::path captureFolder() {
    const char *server = std::getenv("CUPS_SERVER");
    return server ? fs::path(server).parent_path() / "capture" : fs::path();
}

// Whether a job titled `title` is still waiting or printing on "capture".
bool jobActive(const std::string &title) {
    cups_job_t *jobs = nullptr;
    int count = cupsGetJobs2(CUPS_HTTP_DEFAULT, &jobs, "capture", 0, CUPS_WHICHJOBS_ACTIVE);
    bool found = false;
    for (int i = 0; i < count; ++i) found = found || title == jobs[i].title;
    cupsFreeJobs(count, jobs);
    return found;
}

// Waits until the job has left the queue (the test's time limit ends a job
// that never does); its device has then written what it received.
void waitUntilDone(const std::string &title) {
    while (jobActive(title)) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// The bytes the queue's device received for the job titled `title`.
std::optional<std::string> capturedJob(const std::string &title) {
    waitUntilDone(title);
    std::error_code ignored;
    for (const auto &entry : fs::directory_iterator(captureFolder(), ignored)) {
        if (entry.path().extension() != ".title" || readFile(entry.path()) != title) continue;
        fs::path data = entry.path();
        data.replace_extension(".data");
        if (fs::exists(data)) return readFile(data);
    }
    return std::nullopt;
}

std::string allBytes(size_t size) {
    std::string bytes(size, 0);
    for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    const std::string marks =
        "\r\n\x1a\x1b"
        "E\x1b&l0O\x0c";
    for (size_t at = 0; at + marks.size() <= size; at += 997)
        bytes.replace(at, marks.size(), marks);
    return bytes;
}

std::vector<std::string> boxes;
void collect(const char *caption, const char *text) {
    boxes.push_back(std::string(caption) + "|" + text);
}

class CupsPrinting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("CUPS_SERVER"), nullptr);
        ASSERT_TRUE(fs::exists(captureFolder()));
        boxes.clear();
        SetMessageHandler(collect);
    }
    void TearDown() override { SetMessageHandler(nullptr); }

    TempDir dir;
};

TEST_F(CupsPrinting, AnEmptyFileLeavesNoJobBehind) {
    std::string path = dir.write("empty.prn", "");
    ASSERT_EQ(PrintFile("capture", nullptr, path.c_str()), 1);
    EXPECT_TRUE(boxes.empty());
    // The server holds no empty documents: it ends the job without data.
    waitUntilDone(path);
}

TEST_F(CupsPrinting, TheQueueReceivesTheFileByteForByte) {
    for (size_t size : {size_t{1}, size_t{4096}, size_t{4097}, size_t{10} << 20}) {
        SCOPED_TRACE(size);
        std::string bytes = allBytes(size);
        std::string path = dir.write("job-" + std::to_string(size) + ".prn", bytes);
        ASSERT_EQ(PrintFile("capture", nullptr, path.c_str()), 1);
        EXPECT_TRUE(boxes.empty());
        std::optional<std::string> received = capturedJob(path);
        ASSERT_TRUE(received);
        EXPECT_EQ(received->size(), bytes.size());
        EXPECT_TRUE(*received == bytes);
    }
}

TEST_F(CupsPrinting, AnOutputFileTakesTheJobsData) {
    std::string bytes = allBytes(9000);
    std::string path = dir.write("to-file.prn", bytes);
    std::string output = dir.file("out.prn");
    EXPECT_EQ(PrintFile("capture", output.c_str(), path.c_str()), 1);
    EXPECT_TRUE(readFile(output) == bytes);

    std::string unwritable = dir.file("no-such-folder/out.prn");
    EXPECT_EQ(PrintFile("capture", unwritable.c_str(), path.c_str()), 0);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0],
              ("Prn Bypass|Inizio stampa su '" + unwritable + "' fallita: 2").substr(0, 11 + 127));
    EXPECT_EQ(boxes[1], "Prn Bypass|" + std::string(std::strerror(ENOENT)));
}

TEST_F(CupsPrinting, AnUnknownPrinterShowsItsCodeThenTheServersText) {
    std::string path = dir.write("x.prn", "data");
    EXPECT_EQ(PrintFile("no-such-queue", nullptr, path.c_str()), 0);
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(
        boxes[0],
        "Prn Bypass|OpenPrinter per 'no-such-queue' fallita: 1030");  // client-error-not-found
    EXPECT_GT(boxes[1].size(), std::string("Prn Bypass|").size());
    EXPECT_EQ(boxes[1].find("Errore di sistema"), std::string::npos) << boxes[1];
}

TEST_F(CupsPrinting, AMissingFileNeverReachesThePrinter) {
    std::string missing = dir.file("missing.prn");
    EXPECT_EQ(PrintFile("capture", nullptr, missing.c_str()), 0);
    EXPECT_EQ(boxes, std::vector<std::string>{"Prn Bypass|Non posso aprire il '" + missing +
                                              "' per leggerlo."});
}

TEST(CupsDefaultPrinter, ReadsTheServersDefaultDestination) {
    char device[129], driver[129], port[129];
    EXPECT_EQ(DefaultPrinter(device, driver, port), 1);
    EXPECT_STREQ(device, "capture");
    EXPECT_STRNE(driver, "");
    EXPECT_EQ(
        std::string(port),
        "capture:" + fs::read_symlink(fs::path(std::getenv("CUPS_SERVER")).parent_path()).string() +
            "/capture");
}

TEST_F(CupsPrinting, AnOutputFileThatCannotBeWrittenOutGivesZero) {
    // The device takes nothing: the bytes fail when the file is closed.
    std::string path = dir.write("small.prn", "data");
    EXPECT_EQ(PrintFile("capture", "/dev/full", path.c_str()), 0);
    EXPECT_EQ(boxes,
              std::vector<std::string>{"Prn Bypass|Trasmissione dati alla stampante fallito"});
}

// An output file is opened as a plain open for writing would open it: the
// caller's rights, the file's identity, pipes and devices as they are.
TEST_F(CupsPrinting, AnOutputFileIsReachedAsAPlainOpenForWritingWould) {
    SetMessageHandler(nullptr);
    test::checkDestinationCases({[](const std::string &destination, const std::string &content) {
                                     return PrintFile("capture", destination.c_str(),
                                                      test::stagedFile(content).c_str());
                                 },
                                 HOSTUTIL_PRINT_DONE, HOSTUTIL_PRINT_FAILED});
}

// The real backend, but the server it prints to is stopped at one exact
// moment: after the last byte of the job went out and before the document
// is finished. The stop returns once cupsd has exited, so the end of the job
// always meets a server that is gone.
class StopsTheServerBeforeTheEnd final : public test::ForwardingPlatform {
public:
    explicit StopsTheServerBeforeTheEnd(std::string link)
        : ForwardingPlatform(hostutil::platform::native()), link_(std::move(link)) {}
    test::SpoolerResult endDocPrinter(test::Handle printer) override {
        EXPECT_EQ(std::system((std::string(CUPS_FIXTURE) + " stop " + link_).c_str()), 0);
        return ForwardingPlatform::endDocPrinter(printer);
    }

private:
    std::string link_;
};

// A private server for one test, stopped at a moment the test chooses.
class CupsServerGone : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system(("'" + fixture_ + "' start " + link_ + " >/dev/null").c_str()), 0);
        cupsSetServer((link_ + "/cupsd.sock").c_str());
        boxes.clear();
        SetMessageHandler(collect);
    }
    void TearDown() override {
        hostutil::platform::install(nullptr);
        SetMessageHandler(nullptr);
        cupsSetServer(nullptr);
        stopServer();
    }
    // Returns once cupsd has exited.
    void stopServer() { EXPECT_EQ(std::system(("'" + fixture_ + "' stop " + link_).c_str()), 0); }

    test::TempDir scratch_;
    const std::string fixture_ = CUPS_FIXTURE;
    const std::string link_ = scratch_.file("cups");
};

TEST_F(CupsServerGone, AJobTheServerNeverCompletedGivesZero) {
    StopsTheServerBeforeTheEnd platform(link_);
    hostutil::platform::install(&platform);
    const std::string path = scratch_.write("job.prn", allBytes(100000));
    EXPECT_EQ(PrintFile("capture", nullptr, path.c_str()), 0);
    EXPECT_EQ(boxes,
              std::vector<std::string>{"Prn Bypass|Trasmissione dati alla stampante fallito"});
}

// The file is a FIFO: its last bytes and the end of the document reach a
// server that has gone, so no answer to the document ever arrives.
TEST_F(CupsServerGone, AFifoWhoseEndMeetsAServerThatIsGoneGivesZero) {
    const std::string fifo = scratch_.file("job.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    std::thread writer([&] {
        std::FILE *out = std::fopen(fifo.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        const std::string bytes = allBytes(10 << 20);
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), out), bytes.size());
        std::fflush(out);
        stopServer();
        std::fclose(out);
    });
    EXPECT_EQ(PrintFile("capture", nullptr, fifo.c_str()), 0);
    writer.join();
    EXPECT_EQ(boxes,
              std::vector<std::string>{"Prn Bypass|Trasmissione dati alla stampante fallito"});
}

}  // namespace
