// A folder where writing stops after a few KiB, for tests of full disks: a
// private tmpfs where the process may mount one, otherwise an ordinary
// folder under a file-size limit while the code under test runs; or, asked
// for, a loop-mounted ext4 image or the file-size limit itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "temp_dir.h"

namespace test {

enum class SmallDisk { kTmpfs, kExt4, kSizeLimit };

class SmallFilesystem {
public:
    explicit SmallFilesystem(std::size_t bytes = 64 * 1024, SmallDisk kind = SmallDisk::kTmpfs);
    ~SmallFilesystem();
    SmallFilesystem(const SmallFilesystem &) = delete;
    SmallFilesystem &operator=(const SmallFilesystem &) = delete;

    const std::string &path() const { return folder_.path(); }
    std::string file(const std::string &name) const { return folder_.file(name); }
    // How the limit is made, for the test's output.
    std::string kind() const;
    // False where an ext4 image cannot be mounted here; why in kind().
    bool usable() const { return usable_; }
    // The free bytes of a disk of its own; nothing under a file-size limit,
    // whose disk others write to.
    std::optional<uint64_t> freeBytes() const;
    // What a failed write may keep of that: nothing, but on ext4 the block
    // of extent tree that a reservation over a sparse file may have added.
    uint64_t rounding() const;

    // Runs `body` with the limit in force (a mounted disk always is).
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
    TempDir image_;  // where an ext4 image lies
    std::size_t bytes_;
    SmallDisk disk_;
    bool mounted_ = false;
    bool usable_ = true;
    std::string why_;
};

}  // namespace test
