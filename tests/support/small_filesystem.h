// A folder where writing stops after a few KiB, for tests of full disks: a
// private tmpfs where the process may mount one, otherwise an ordinary
// folder under a file-size limit while the code under test runs.
#pragma once

#include <cstddef>
#include <string>

#include "temp_dir.h"

namespace test {

class SmallFilesystem {
public:
    explicit SmallFilesystem(std::size_t bytes = 64 * 1024);
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem &) = delete;
    SmallFilesystem &operator=(const SmallFilesystem &) = delete;

    const std::string &path() const { return folder_.path(); }
    std::string file(const std::string &name) const { return folder_.file(name); }
    // How the limit is made, for the test's output.
    std::string kind() const;

    // Runs `body` with the limit in force (a tmpfs always is).
    template <typename Body>
    auto whileFull(Body &&body) {
        Limit limit(*this);
        return body();
    }

private:
    struct Limit {
        explicit Limit(const SmallFilesystem &filesystem);
        ~Limit();
        const SmallFilesystem &filesystem;
    };

    TempDir folder_;
    std::size_t bytes_;
    bool mounted_ = false;
};

}  // namespace test
