#include "run_program.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform_double.h"
#include "temp_dir.h"

using test::readFile;
using test::ScopedDouble;
using test::TempDir;
using Calls = std::vector<std::string>;

namespace {

struct Words {
    const char *w[5];
};

TEST(RunPrgCommandLine, FollowsTheWordRules) {
    struct Row {
        Words words;
        const char *line;
    };
    const Row rows[] = {
        {{{nullptr, "a", "b", nullptr, nullptr}}, ""},
        {{{"", "a", "b", nullptr, nullptr}}, ""},
        {{{"prog", nullptr, nullptr, nullptr, nullptr}}, "prog"},
        {{{"prog", "a", nullptr, nullptr, nullptr}}, "prog a"},
        {{{"prog", "a", "", "b", nullptr}}, "prog a  b"},
        {{{"prog", "", nullptr, nullptr, nullptr}}, "prog"},
        {{{"prog", "", "", nullptr, nullptr}}, "prog  "},
        {{{"prog", "a", nullptr, "c", "d"}}, "prog a"},
        {{{"prog", "a b", "c", "d", "e"}}, "prog a b c d e"},
        {{{"prog", "", "", "", "x"}}, "prog    x"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        EXPECT_EQ(hostutil::buildCommandLine(row.words.w), row.line);
    }
}

TEST(RunPrgResolution, TriesTheCurrentFolderAndTheExtensionsInOrder) {
    struct Row {
        const char *path;
        std::vector<std::string> existing;
        Calls probes;         // pathExists calls, in order
        std::string started;  // empty: not started
    };
    const Row rows[] = {
        {"prog", {"./prog.exe", "./prog.bat"}, {"./prog.com", "./prog.exe"}, "./prog.exe"},
        {"prog",
         {"./prog.cmd"},
         {"./prog.com", "./prog.exe", "./prog.bat", "./prog.cmd"},
         "./prog.cmd"},
        {"prog",
         {"prog.exe", "/usr/bin/prog.exe"},
         {"./prog.com", "./prog.exe", "./prog.bat", "./prog.cmd"},
         ""},
        {"tool.exe", {"./tool.exe.com", "./tool.com"}, {"./tool.exe"}, ""},
        {"tool.exe", {"./tool.exe"}, {"./tool.exe"}, "./tool.exe"},
        {"bin/tool", {"bin/tool.com"}, {"bin/tool.com"}, "bin/tool.com"},
        {"bin\\tool",
         {"bin\\tool.bat"},
         {"bin\\tool.com", "bin\\tool.exe", "bin\\tool.bat"},
         "bin\\tool.bat"},
        {"C:tool", {"C:tool.exe"}, {"C:tool.com", "C:tool.exe"}, "C:tool.exe"},
        {"C:\\a.b/tool", {"C:\\a.b/tool.com"}, {"C:\\a.b/tool.com"}, "C:\\a.b/tool.com"},
        {"a/b.c\\tool",
         {},
         {"a/b.c\\tool.com", "a/b.c\\tool.exe", "a/b.c\\tool.bat", "a/b.c\\tool.cmd"},
         ""},
        {"dir.d/x.y", {"dir.d/x.y"}, {"dir.d/x.y"}, "dir.d/x.y"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        ScopedDouble os;
        os->existingPaths.insert(row.existing.begin(), row.existing.end());
        const char *words[5] = {"w", nullptr, nullptr, nullptr, nullptr};
        int32_t result = hostutil::runProgram(row.path, words);

        Calls expected;
        for (const std::string &probe : row.probes) expected.push_back("pathExists(" + probe + ")");
        if (!row.started.empty()) {
            Calls tail = {"createProcess(" + row.started + "|w)", "waitForExit(process)",
                          "exitCode(process)", "closeHandle(process)", "closeHandle(thread)"};
            expected.insert(expected.end(), tail.begin(), tail.end());
        }
        EXPECT_EQ(os->calls, expected);
        EXPECT_EQ(result, row.started.empty() ? ENOENT : 0);
    }
}

TEST(RunPrgResolution, ReportsCreationErrorsAndIgnoresExitCodes) {
    const char *words[5] = {"p", nullptr, nullptr, nullptr, nullptr};
    for (int error : {ENOEXEC, EACCES, ENOMEM, E2BIG, EMFILE}) {
        ScopedDouble os;
        os->existingPaths = {"./p.exe"};
        os->faults.fail(test::Operation::CreateProcess, 1, static_cast<uint32_t>(error));
        EXPECT_EQ(hostutil::runProgram("p.exe", words), error);
        EXPECT_EQ(os->calls, (Calls{"pathExists(./p.exe)", "createProcess(./p.exe|p)"}));
    }
    for (uint32_t code : {0u, 3u, 0xFFFFFFFFu}) {
        ScopedDouble os;
        os->existingPaths = {"./p.exe"};
        os->childExitCode = code;
        EXPECT_EQ(hostutil::runProgram("p.exe", words), 0);
    }
    ScopedDouble os;
    EXPECT_EQ(hostutil::runProgram(nullptr, words), EINVAL);
    EXPECT_TRUE(os->calls.empty());
}

// Real children, started by the Linux backend in a scratch folder.
class RunPrgChildren : public ::testing::Test {
protected:
    void SetUp() override {
        char here[4096];
        ASSERT_TRUE(getcwd(here, sizeof here));
        previous_ = here;
        ASSERT_EQ(chdir(dir.path().c_str()), 0);
        setenv("HOSTUTIL_DUMP", dir.file("dump.txt").c_str(), 1);
        unsetenv("HOSTUTIL_EXIT");
    }
    void TearDown() override {
        unsetenv("HOSTUTIL_DUMP");
        unsetenv("HOSTUTIL_EXIT");
        EXPECT_EQ(chdir(previous_.c_str()), 0);
    }

    // The argument dumper under `name` in the scratch folder.
    void program(const std::string &name) {
        std::filesystem::create_directories(std::filesystem::path(dir.file(name)).parent_path());
        std::filesystem::copy_file(ARGV_DUMP, dir.file(name));
    }
    void script(const std::string &name, const std::string &body) {
        dir.write(name, body);
        chmod(dir.file(name).c_str(), 0755);
    }
    int32_t run(const char *path, const char *a0 = nullptr, const char *a1 = nullptr,
                const char *a2 = nullptr, const char *a3 = nullptr, const char *a4 = nullptr) {
        const char *words[5] = {a0, a1, a2, a3, a4};
        return hostutil::runProgram(path, words);
    }
    // What the dumper reported: exe, cwd and its arguments.
    std::map<std::string, std::string> report(std::vector<std::string> *args) {
        std::map<std::string, std::string> fields;
        std::istringstream in(readFile(dir.file("dump.txt")));
        std::string line;
        while (std::getline(in, line)) {
            size_t eq = line.find('=');
            if (line.compare(0, 4, "arg=") == 0)
                args->push_back(line.substr(5, line.size() - 6));
            else
                fields[line.substr(0, eq)] = line.substr(eq + 1);
        }
        return fields;
    }

    TempDir dir;
    std::string previous_;
};

TEST_F(RunPrgChildren, FindsExeBeforeBatInTheCurrentFolderAndWaits) {
    program("prog.exe");
    script("prog.bat", "#!/bin/sh\ntouch ran-bat\n");
    EXPECT_EQ(run("prog", "prog", "a"), 0);
    // The child has ended and written its report by the time RunPrg returns.
    std::vector<std::string> args;
    auto fields = report(&args);
    EXPECT_EQ(fields["exe"], std::filesystem::canonical(dir.file("prog.exe")).string());
    EXPECT_EQ(fields["cwd"], std::filesystem::canonical(dir.path()).string());
    EXPECT_EQ(args, (std::vector<std::string>{"prog", "a"}));
    EXPECT_FALSE(std::filesystem::exists(dir.file("ran-bat")));
}

TEST_F(RunPrgChildren, CommandLineWordsReachTheChild) {
    program("prog.exe");
    struct Row {
        Words words;
        std::vector<std::string> args;
    };
    const Row rows[] = {
        {{{nullptr, "a", nullptr, nullptr, nullptr}}, {""}},
        {{{"", "a", "b", nullptr, nullptr}}, {""}},
        {{{"prog", "", nullptr, nullptr, nullptr}}, {"prog"}},
        {{{"prog", "a", "", "b", nullptr}}, {"prog", "a", "", "b"}},
        {{{"x y", "a", nullptr, "c", "d"}}, {"x", "y", "a"}},
        {{{"p", "1", "2", "3", "4"}}, {"p", "1", "2", "3", "4"}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(hostutil::buildCommandLine(row.words.w));
        std::filesystem::remove(dir.file("dump.txt"));
        EXPECT_EQ(hostutil::runProgram("prog.exe", row.words.w), 0);
        std::vector<std::string> args;
        report(&args);
        EXPECT_EQ(args, row.args);
    }
}

TEST_F(RunPrgChildren, ExitCodesNeverChangeTheResult) {
    program("prog.exe");
    for (const char *code : {"0", "3", "255", "-1"}) {
        SCOPED_TRACE(code);
        setenv("HOSTUTIL_EXIT", code, 1);
        EXPECT_EQ(run("prog", "prog"), 0);
    }
    script("killed.sh", "#!/bin/sh\nkill -9 $$\n");
    EXPECT_EQ(run("killed.sh", "killed"), 0);
}

TEST_F(RunPrgChildren, FailuresGiveTheirErrno) {
    program("tool.com");
    program("tool.exe.com");
    std::filesystem::create_directory(dir.file("folder.exe"));
    std::filesystem::create_directory(dir.file("bin"));
    program("bin/onpath.exe");
    script("plain.bat", "touch ran-plain\n");  // no interpreter line
    dir.write("noexec.exe", "#!/bin/sh\n");
    std::string path = std::string(getenv("PATH") ? getenv("PATH") : "");
    setenv("PATH", (dir.file("bin") + ":" + path).c_str(), 1);

    struct Row {
        const char *path;
        int32_t result;
    };
    const Row rows[] = {
        {"tool.exe", ENOENT},                            // a dotted name tries no extension
        {"missing", ENOENT},        {"onpath", ENOENT},  // the search path is never used
        {"nodir/prog.exe", ENOENT}, {"folder.exe", EACCES},
        {"folder", EACCES},         {"noexec.exe", EACCES},  // not executable
        {"plain", ENOEXEC},  // executable but no format the system runs
        {"bin/onpath", 0},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.path);
        EXPECT_EQ(run(row.path, "x"), row.result);
    }
    setenv("PATH", path.c_str(), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("ran-plain")));
}

}  // namespace
