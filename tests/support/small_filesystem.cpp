#include "small_filesystem.h"

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>

namespace test {

namespace {
rlimit previousLimit;
}  // namespace

SmallFilesystem::SmallFilesystem(std::size_t bytes) : bytes_(bytes) {
    // A mount namespace of this process's own: the tmpfs is nobody else's and
    // goes with the process.
    if (unshare(CLONE_NEWNS) != 0) return;
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return;
    const std::string options = "size=" + std::to_string(bytes_);
    mounted_ = mount("tmpfs", folder_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallFilesystem::~SmallFilesystem() {
    if (mounted_) umount2(folder_.path().c_str(), MNT_DETACH);
}

std::string SmallFilesystem::kind() const {
    return (mounted_ ? "a tmpfs of " : "a file-size limit of ") + std::to_string(bytes_ / 1024) +
           " KiB";
}

SmallFilesystem::Limit::Limit(const SmallFilesystem &owner) : filesystem(owner) {
    if (filesystem.mounted_) return;
    // Past the limit a write fails with EFBIG instead of killing the process.
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previousLimit);
    rlimit limit = previousLimit;
    limit.rlim_cur = filesystem.bytes_;
    setrlimit(RLIMIT_FSIZE, &limit);
}

SmallFilesystem::Limit::~Limit() {
    if (filesystem.mounted_) return;
    setrlimit(RLIMIT_FSIZE, &previousLimit);
    signal(SIGXFSZ, SIG_DFL);
}

}  // namespace test
