#include "destination_cases.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "small_filesystem.h"
#include "temp_dir.h"

namespace test {

namespace {

namespace fs = std::filesystem;

// The test's own user (root, where the tests run as root), or user nobody.
enum class Caller { Tester, Nobody };

// The state of one file that identifies it and what it holds.
struct FileState {
    ino_t inode;
    uid_t owner;
    gid_t group;
    mode_t mode;
    nlink_t links;
    std::string content;
    bool operator==(const FileState &) const = default;
};

std::optional<FileState> stateOf(const std::string &path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
    return FileState{info.st_ino,          info.st_uid,   info.st_gid,
                     info.st_mode & 07777, info.st_nlink, readFile(path)};
}

std::set<std::string> namesIn(const std::string &folder) {
    std::set<std::string> names;
    for (const auto &entry : fs::directory_iterator(folder))
        names.insert(entry.path().filename().string());
    return names;
}

uid_t nobodyUser() {
    const passwd *user = getpwnam("nobody");
    return user ? user->pw_uid : 65534;
}

gid_t nobodyGroup() {
    const passwd *user = getpwnam("nobody");
    return user ? user->pw_gid : 65534;
}

void own(const std::string &path, mode_t mode, uid_t owner) {
    EXPECT_EQ(chown(path.c_str(), owner, owner == geteuid() ? getegid() : nobodyGroup()), 0);
    EXPECT_EQ(chmod(path.c_str(), mode), 0);
}

std::string put(const std::string &path, const std::string &bytes, mode_t mode,
                uid_t owner = geteuid()) {
    writeFile(path, bytes);
    own(path, mode, owner);
    return path;
}

void shareFolder(const std::string &path, mode_t mode, uid_t owner = geteuid()) {
    own(path, mode, owner);
}

// What one case sets up; the folder it lives in is the case's own.
struct Watched {
    std::string path;
    bool receives;  // the write reaches it, when it is allowed
};

struct Scene {
    std::string destination;          // given to the writer
    std::vector<Watched> watched;     // files whose state is checked
    std::string newName{};            // the name the write creates, if it does
    int pipeOut = -1;                 // the bytes of a pipe case go here
    int pipeIn = -1;                  // and arrive here
    std::function<void()> inChild{};  // what only the writing process may do
};

struct Stage {
    std::string folder;
    std::string earlier;
};

// Where the case's folder lies: any disk, a small tmpfs, a small ext4 image
// (which keeps what a failed reservation took unless it is given back), or
// under a file-size limit.
enum class Disk { kAny, kSmall, kExt4, kSizeLimit };

struct Case {
    const char *what;
    Caller caller;
    bool written;  // what a plain open for writing allows
    Disk disk;
    bool mounts;  // the writing process mounts a file of its own
    std::size_t earlierSize;
    std::size_t newSize;
    std::function<Scene(Stage &)> setUp;
};

Scene existing(Stage &stage, const std::string &name, mode_t mode, uid_t owner = geteuid()) {
    const std::string path = put(stage.folder + "/" + name, stage.earlier, mode, owner);
    return Scene{path, {{path, true}}};
}

Scene overPipe(const std::function<std::string(int)> &name, bool asStandardOutput) {
    int ends[2];
    EXPECT_EQ(pipe(ends), 0);
    Scene scene{name(ends[1]), {}};
    scene.pipeIn = ends[0];
    scene.pipeOut = ends[1];
    if (asStandardOutput) scene.inChild = [out = ends[1]] { dup2(out, STDOUT_FILENO); };
    return scene;
}

const std::vector<Case> &cases() {
    constexpr std::size_t kSmall = 10000;
    constexpr std::size_t kLarge = 600000;  // more than the ext4 image holds
    static const std::vector<Case> all = {
        {"a new file", Caller::Tester, true, Disk::kAny, false, 0, kSmall,
         [](Stage &stage) {
             Scene scene{stage.folder + "/new.txt", {{stage.folder + "/new.txt", true}}};
             scene.newName = "new.txt";
             return scene;
         }},
        {"an existing file", Caller::Tester, true, Disk::kAny, false, 20000, kSmall,
         [](Stage &stage) { return existing(stage, "old.txt", 0640); }},
        {"the caller's own read-only file", Caller::Nobody, false, Disk::kAny, false, 3000, kSmall,
         [](Stage &stage) {
             shareFolder(stage.folder, 0755, nobodyUser());
             return existing(stage, "mine.txt", 0444, nobodyUser());
         }},
        {"another user's 0644 file in a folder the caller may write", Caller::Nobody, false,
         Disk::kAny, false, 3000, kSmall,
         [](Stage &stage) {
             shareFolder(stage.folder, 0777);
             return existing(stage, "roots.txt", 0644);
         }},
        {"a 0666 file in a folder the caller cannot write", Caller::Nobody, true, Disk::kAny, false,
         3000, kSmall,
         [](Stage &stage) {
             shareFolder(stage.folder, 0755);
             return existing(stage, "open.txt", 0666);
         }},
        {"another user's 0666 file in a sticky folder", Caller::Nobody, true, Disk::kAny, false,
         3000, kSmall,
         [](Stage &stage) {
             shareFolder(stage.folder, 01777);
             return existing(stage, "shared.txt", 0666);
         }},
        {"a new file in a folder the caller cannot write", Caller::Nobody, false, Disk::kAny, false,
         0, kSmall,
         [](Stage &stage) {
             shareFolder(stage.folder, 0755);
             Scene scene{stage.folder + "/new.txt", {}};
             scene.newName = "new.txt";
             return scene;
         }},
        {"a name of 250 bytes", Caller::Tester, true, Disk::kAny, false, 3000, kSmall,
         [](Stage &stage) { return existing(stage, std::string(246, 'n') + ".txt", 0644); }},
        {"a bind-mounted file", Caller::Tester, true, Disk::kAny, true, 3000, kSmall,
         [](Stage &stage) {
             const std::string source = put(stage.folder + "/source.txt", stage.earlier, 0644);
             const std::string point = put(stage.folder + "/point.txt", "the mount point", 0644);
             Scene scene{point, {{source, true}, {point, false}}};
             scene.inChild = [source, point] {
                 if (unshare(CLONE_NEWNS) != 0 ||
                     mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
                     mount(source.c_str(), point.c_str(), nullptr, MS_BIND, nullptr) != 0)
                     _exit(2);
             };
             return scene;
         }},
        {"a disk with room for the new content only", Caller::Tester, true, Disk::kSmall, false,
         40000, 50000, [](Stage &stage) { return existing(stage, "full.txt", 0644); }},
        {"a disk without room for the new content", Caller::Tester, false, Disk::kSmall, false,
         40000, 70000, [](Stage &stage) { return existing(stage, "full.txt", 0644); }},
        {"/dev/stdout on a pipe", Caller::Tester, true, Disk::kAny, false, 0, kSmall,
         [](Stage &) { return overPipe([](int) { return std::string("/dev/stdout"); }, true); }},
        {"/dev/fd/N on a pipe", Caller::Tester, true, Disk::kAny, false, 0, kSmall,
         [](Stage &) {
             return overPipe([](int fd) { return "/dev/fd/" + std::to_string(fd); }, false);
         }},
        {"/proc/self/fd/N on a pipe", Caller::Tester, true, Disk::kAny, false, 0, kSmall,
         [](Stage &) {
             return overPipe([](int fd) { return "/proc/self/fd/" + std::to_string(fd); }, false);
         }},
        {"a file with a second hard link", Caller::Tester, true, Disk::kAny, false, 3000, kSmall,
         [](Stage &stage) {
             Scene scene = existing(stage, "linked.txt", 0600);
             const std::string other = stage.folder + "/other-name.txt";
             EXPECT_EQ(link(scene.destination.c_str(), other.c_str()), 0);
             scene.watched.push_back({other, true});
             return scene;
         }},
        {"a symbolic link to a file", Caller::Tester, true, Disk::kAny, false, 3000, kSmall,
         [](Stage &stage) {
             Scene scene = existing(stage, "target.txt", 0640);
             EXPECT_EQ(symlink("target.txt", (stage.folder + "/link.txt").c_str()), 0);
             scene.destination = stage.folder + "/link.txt";
             return scene;
         }},
        {"a symbolic-link loop", Caller::Tester, false, Disk::kAny, false, 0, kSmall,
         [](Stage &stage) {
             EXPECT_EQ(symlink("b", (stage.folder + "/a").c_str()), 0);
             EXPECT_EQ(symlink("a", (stage.folder + "/b").c_str()), 0);
             return Scene{stage.folder + "/a", {}};
         }},
        {"a missing folder", Caller::Tester, false, Disk::kAny, false, 0, kSmall,
         [](Stage &stage) {
             return Scene{stage.folder + "/no-such-folder/x.txt", {}};
         }},
        {"an ext4 disk without room for the new content", Caller::Tester, false, Disk::kExt4, false,
         40000, kLarge, [](Stage &stage) { return existing(stage, "full.txt", 0644); }},
        {"a sparse file on an ext4 disk without room", Caller::Tester, false, Disk::kExt4, false,
         4000, kLarge,
         [](Stage &stage) {
             Scene scene = existing(stage, "sparse.txt", 0644);
             const int fd = open(scene.destination.c_str(), O_WRONLY);
             EXPECT_EQ(pwrite(fd, stage.earlier.data(), stage.earlier.size(), 300000),
                       static_cast<ssize_t>(stage.earlier.size()));
             close(fd);
             return scene;
         }},
        {"a new file past the file-size limit", Caller::Tester, false, Disk::kSizeLimit, false, 0,
         70000,
         [](Stage &stage) {
             Scene scene{stage.folder + "/new.txt", {}};
             scene.newName = "new.txt";
             return scene;
         }},
        {"an empty file past the file-size limit", Caller::Tester, false, Disk::kSizeLimit, false,
         0, 70000, [](Stage &stage) { return existing(stage, "empty.txt", 0644); }},
        {"a symbolic link to nothing", Caller::Tester, true, Disk::kAny, false, 0, kSmall,
         [](Stage &stage) {
             EXPECT_EQ(symlink("made.txt", (stage.folder + "/link.txt").c_str()), 0);
             Scene scene{stage.folder + "/link.txt", {{stage.folder + "/made.txt", true}}};
             scene.newName = "made.txt";
             return scene;
         }},
        {"a symbolic link to nothing on a disk without room", Caller::Tester, false, Disk::kSmall,
         false, 0, 70000,
         [](Stage &stage) {
             EXPECT_EQ(symlink("made.txt", (stage.folder + "/link.txt").c_str()), 0);
             Scene scene{stage.folder + "/link.txt", {{stage.folder + "/made.txt", true}}};
             scene.newName = "made.txt";
             return scene;
         }},
    };
    return all;
}

std::string bytes(std::size_t size, char seed) {
    // No CR, LF or 0x1A: a text copy leaves them as they are.
    std::string text(size, 0);
    for (std::size_t i = 0; i < size; ++i) text[i] = static_cast<char>('a' + (i * 7 + seed) % 26);
    return text;
}

std::string drain(int fd) {
    std::string received;
    char block[4096];
    for (ssize_t n; (n = read(fd, block, sizeof block)) > 0;) received.append(block, n);
    return received;
}

void dropToNobody() {
    if (setgroups(0, nullptr) != 0 || setgid(nobodyGroup()) != 0 || setuid(nobodyUser()) != 0)
        _exit(3);
}

// The writer's result, from a child that may change its user and mounts.
int32_t writeInChild(const DestinationWriter &writer, const Case &c, const Scene &scene,
                     const std::string &content, SmallFilesystem *small) {
    const pid_t child = fork();
    if (child == 0) {
        if (scene.inChild) scene.inChild();
        if (c.caller == Caller::Nobody) dropToNobody();
        const int32_t result =
            small ? small->whileFull([&] { return writer.write(scene.destination, content); })
                  : writer.write(scene.destination, content);
        _exit(result + 128);
    }
    if (scene.pipeOut >= 0) close(scene.pipeOut);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status)) << "the child died: status " << status;
    return WIFEXITED(status) ? WEXITSTATUS(status) - 128 : -1000;
}

std::unique_ptr<SmallFilesystem> smallDisk(Disk disk) {
    switch (disk) {
    case Disk::kAny: return nullptr;
    case Disk::kSmall: return std::make_unique<SmallFilesystem>();
    case Disk::kExt4: return std::make_unique<SmallFilesystem>(512 * 1024, SmallDisk::kExt4);
    case Disk::kSizeLimit:
        return std::make_unique<SmallFilesystem>(64 * 1024, SmallDisk::kSizeLimit);
    }
    return nullptr;
}

void checkCase(const DestinationWriter &writer, const Case &c) {
    std::unique_ptr<SmallFilesystem> small = smallDisk(c.disk);
    std::unique_ptr<TempDir> folder;
    if (small && !small->usable()) {
        std::printf("skipped: %s: %s\n", c.what, small->kind().c_str());
        return;
    }
    if (!small) folder = std::make_unique<TempDir>();
    Stage stage{small ? small->path() : folder->path(), bytes(c.earlierSize, 'e')};
    shareFolder(stage.folder, 0755);
    const Scene scene = c.setUp(stage);
    const std::string content = bytes(c.newSize, 'n');

    std::vector<std::optional<FileState>> before;
    for (const Watched &file : scene.watched) before.push_back(stateOf(file.path));
    const std::set<std::string> namesBefore = namesIn(stage.folder);
    const std::optional<uint64_t> freeBefore = small ? small->freeBytes() : std::nullopt;

    const int32_t result = writeInChild(writer, c, scene, content, small.get());
    EXPECT_EQ(result, c.written ? writer.done : writer.refused);
    // A write that failed gives back whatever room it took.
    if (freeBefore && !c.written) {
        EXPECT_LE(*freeBefore - small->freeBytes().value_or(0), small->rounding()) << small->kind();
    }
    if (scene.pipeIn >= 0) {
        EXPECT_TRUE(drain(scene.pipeIn) == (c.written ? content : "")) << "what the pipe got";
        close(scene.pipeIn);
    }
    for (std::size_t i = 0; i < scene.watched.size(); ++i) {
        const Watched &file = scene.watched[i];
        SCOPED_TRACE(file.path);
        const std::optional<FileState> after = stateOf(file.path);
        if (!before[i]) {
            // A file the write made: the caller's, with the mode a new file gets.
            ASSERT_EQ(after.has_value(), c.written);
            if (!after) continue;
            const mode_t mask = umask(0);
            umask(mask);
            EXPECT_EQ(after->mode, 0666u & ~mask);
            EXPECT_EQ(after->owner, c.caller == Caller::Nobody ? nobodyUser() : geteuid());
            EXPECT_TRUE(after->content == content);
            continue;
        }
        ASSERT_TRUE(after) << "the file is gone";
        FileState expected = *before[i];
        if (c.written && file.receives) expected.content = content;
        EXPECT_EQ(after->inode, expected.inode);
        EXPECT_EQ(after->owner, expected.owner);
        EXPECT_EQ(after->group, expected.group);
        EXPECT_EQ(after->mode, expected.mode);
        EXPECT_EQ(after->links, expected.links);
        EXPECT_TRUE(after->content == expected.content)
            << after->content.size() << " bytes, " << expected.content.size() << " expected";
    }
    std::set<std::string> namesExpected = namesBefore;
    if (c.written && !scene.newName.empty()) namesExpected.insert(scene.newName);
    EXPECT_EQ(namesIn(stage.folder), namesExpected) << "what the folder holds";
}

}  // namespace

std::vector<std::string> destinationContents() {
    std::set<std::size_t> sizes;
    for (const Case &c : cases()) sizes.insert(c.newSize);
    std::vector<std::string> contents;
    for (std::size_t size : sizes) contents.push_back(bytes(size, 'n'));
    return contents;
}

std::string sharedScratchFolder() {
    static TempDir folder;
    chmod(folder.path().c_str(), 01777);
    return folder.path();
}

std::string stagedFile(const std::string &content) {
    return sharedScratchFolder() + "/staged." + std::to_string(content.size());
}

void checkDestinationCases(const DestinationWriter &writer) {
    for (const std::string &content : destinationContents())
        writeFile(stagedFile(content), content);
    const bool root = geteuid() == 0;
    int skipped = 0;
    for (const Case &c : cases()) {
        if (!root && (c.caller == Caller::Nobody || c.mounts)) {
            ++skipped;
            continue;
        }
        SCOPED_TRACE(c.what);
        checkCase(writer, c);
    }
    if (skipped) std::printf("skipped: %d destination cases that need root\n", skipped);
}

}  // namespace test
