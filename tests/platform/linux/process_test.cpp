// The Linux backend's processes: the command line cut into arguments, and
// the failures of a launch. Real children are started by the RunPrg tests.
#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "platform/linux/posix.h"
#include "platform/platform.h"

namespace {

using hostutil::platform::native;

TEST(LinuxBackend, SplitsTheCommandLineAtEverySpace) {
    using Args = std::vector<std::string>;
    struct Row {
        const char *line;
        Args args;
    };
    const Row rows[] = {
        {"", {""}},
        {nullptr, {""}},
        {"prog", {"prog"}},
        {"prog a  b", {"prog", "a", "", "b"}},
        {" lead", {"", "lead"}},
        {"trail ", {"trail", ""}},
        {"tab\there \"q u\"", {"tab\there", "\"q", "u\""}},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line ? row.line : "(null)");
        EXPECT_EQ(hostutil::platform::posix::splitCommandLine(row.line), row.args);
    }
}

TEST(LinuxBackend, ProcessFailuresAndTheWaitCursor) {
    hostutil::platform::ProcessInfo info;
    EXPECT_EQ(native().createProcess("/nonexistent/prog", "prog", info), ENOENT);
    EXPECT_EQ(info.process, nullptr);
    EXPECT_TRUE(native().pathExists("/"));
    EXPECT_FALSE(native().pathExists("/nonexistent/prog"));
    EXPECT_FALSE(native().pathExists(nullptr));
}

}  // namespace
