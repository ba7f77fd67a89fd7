#include "small_filesystem.h"

#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/statvfs.h>

#include <cstdlib>

#include "run_command.h"

namespace test {

namespace {
rlimit previousLimit;

// A mount namespace of this process's own: the disk is nobody else's and
// goes with the process.
bool ownMounts() {
    return unshare(CLONE_NEWNS) == 0 &&
           mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
}
}  // namespace

SmallFilesystem::SmallFilesystem(std::size_t bytes, SmallDisk kind) : bytes_(bytes), disk_(kind) {
    if (disk_ == SmallDisk::kSizeLimit) return;
    if (!ownMounts()) {
        why_ = "no mount namespace of its own";
    } else if (disk_ == SmallDisk::kTmpfs) {
        const std::string options = "size=" + std::to_string(bytes_);
        mounted_ = mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
    } else {
        // mkfs and mount run in this namespace: the mount is this process's.
        const std::string image = image_.file("disk.img");
        const Ran made = runCommand("truncate -s " + std::to_string(bytes_) + " '" + image +
                                    "' && mkfs.ext4 -q -F '" + image + "' 2>&1 && mount -o loop '" +
                                    image + "' '" + folder_.path() + "' 2>&1");
        mounted_ = made.status == 0;
        if (!mounted_) why_ = made.output.empty() ? "mkfs.ext4 or mount failed" : made.output;
    }
    // Only an ext4 image asked for cannot fall back on the limit.
    usable_ = mounted_ || disk_ != SmallDisk::kExt4;
}

SmallFilesystem::~SmallFilesystem() {
    if (mounted_) umount2(folder_.path().c_str(), MNT_DETACH);
}

std::string SmallFilesystem::kind() const {
    const std::string size = std::to_string(bytes_ / 1024) + " KiB";
    if (!usable_) return "no ext4 image can be mounted here: " + why_;
    if (!mounted_) return "a file-size limit of " + size;
    return (disk_ == SmallDisk::kExt4 ? "a loop-mounted ext4 image of " : "a tmpfs of ") + size;
}

std::optional<uint64_t> SmallFilesystem::freeBytes() const {
    struct statvfs info;
    if (!mounted_ || statvfs(folder_.path().c_str(), &info) != 0) return std::nullopt;
    return static_cast<uint64_t>(info.f_bfree) * info.f_frsize;
}

uint64_t SmallFilesystem::rounding() const {
    struct statvfs info;
    if (disk_ != SmallDisk::kExt4 || statvfs(folder_.path().c_str(), &info) != 0) return 0;
    return info.f_bsize;
}

// No signal is ignored: a write past the limit must fail, not raise it.
SmallFilesystem::Limit::Limit(const SmallFilesystem &owner) : filesystem(owner) {
    if (filesystem.mounted_) return;
    getrlimit(RLIMIT_FSIZE, &previousLimit);
    rlimit limit = previousLimit;
    limit.rlim_cur = filesystem.bytes_;
    setrlimit(RLIMIT_FSIZE, &limit);
}

SmallFilesystem::Limit::~Limit() {
    if (filesystem.mounted_) return;
    setrlimit(RLIMIT_FSIZE, &previousLimit);
}

}  // namespace test
