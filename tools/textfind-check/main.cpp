// textfind-check: reports what is wrong with a folder's search stores and
// stop-word file, without changing anything.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "check.h"
#include "version.h"

namespace {

constexpr const char *kUsage =
    "usage: textfind-check [--json] [FOLDER]\n"
    "\n"
    "Checks \"opere.idb\", \"opere.ddb\" and \"noused.txt\" in FOLDER (default: the\n"
    "current folder), changing nothing:\n"
    "  - Berkeley DB's own verification of both stores, first; a store that\n"
    "    fails it is read no further;\n"
    "  - word index: keys in word normal form (no small letter a to z, no\n"
    "    separator, not empty), data lengths that are no multiple of 8,\n"
    "    postings of records the record store lacks, records posted twice\n"
    "    under one word; counts of keys, postings and category codes;\n"
    "  - record store: keys of other than 4 bytes, records no word points to,\n"
    "    texts holding a NUL byte; the count, the longest text and the buffer\n"
    "    size a host must pass (longest + 1);\n"
    "  - stop words: entries with small letters (they never match), lines over\n"
    "    the reader's 254 bytes, the count.\n"
    "Keys that are stop words, and records without words, are noted.\n"
    "\n"
    "  --json   the report as JSON (byte strings: valid UTF-8 as it is, other\n"
    "           bytes as \\u00XX)\n"
    "  --help   this text\n"
    "  --version  the version\n"
    "\n"
    "Exit status: 0 clean, 1 problems found (each named with its key or\n"
    "record), 2 a store cannot be read.\n";

}  // namespace

int main(int argc, char **argv) {
    if (tools::printedVersion(argc, argv, "textfind-check")) return 0;
    // The child that verifies one file where the system cannot fork.
    if (argc == 3 && std::strcmp(argv[1], "--verify-one") == 0) {
        std::string messages;
        const int status = textfind::check::verifyInPlace(argv[2], messages);
        std::fputs(messages.c_str(), stdout);
        return status;
    }
    bool json = false;
    std::string folder = ".";
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (std::strcmp(argv[i], "--json") == 0) {
            json = true;
        } else if (argv[i][0] == '-' || positional++ > 0) {
            std::fprintf(stderr, "textfind-check: unexpected argument %s\n\n%s", argv[i], kUsage);
            return 2;
        } else {
            folder = argv[i];
        }
    }
    try {
        const textfind::check::Report report = textfind::check::checkFolder(folder);
        std::fputs(
            (json ? textfind::check::jsonReport(report) : textfind::check::humanReport(report))
                .c_str(),
            stdout);
        return report.exitStatus();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "textfind-check: %s\n", e.what());
        return 2;
    }
}
