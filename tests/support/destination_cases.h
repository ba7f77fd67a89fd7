// The ways a host may name a file to be written, each with what a plain open
// for writing makes of it; every export that writes a file the host names is
// held to all of them. Each case runs the export in a child process, as the
// user it names, and checks the file afterwards: content, inode, owner,
// mode, link count, and that the folder holds nothing new.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace test {

struct DestinationWriter {
    // Writes `content` to `destination` through the export, in the child
    // (as an unprivileged user where the case says so); the export's result.
    std::function<int32_t(const std::string &destination, const std::string &content)> write;
    int32_t done;     // the export's result for a complete write
    int32_t refused;  // and for a destination it may not or cannot write
};

// Runs every case; a failed expectation is a test failure naming the case.
// Cases for an unprivileged user are skipped, with one line, where the
// tests do not run as root.
void checkDestinationCases(const DestinationWriter &writer);

// Every content the cases write, for a writer that must stage its values
// before the children run.
std::vector<std::string> destinationContents();

// A folder every user may write files of their own into, for the inputs a
// writer makes in the child.
std::string sharedScratchFolder();

// A file holding `content`, written before the children run (some of them
// write under a file-size limit), for a writer that copies a file.
std::string stagedFile(const std::string &content);

}  // namespace test
