// textfind-check: reports what is wrong with a folder's search stores and
// stop-word file, without changing anything.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "check.h"
#include "options.h"
#include "progress.h"

namespace {

constexpr const char *kHelp =
    "usage: textfind-check [--json] [--prove] [--progress] [FOLDER]\n"
    "\n"
    "Checks \"opere.idb\", \"opere.ddb\", their proof \"opere.sum\" and \"noused.txt\"\n"
    "in FOLDER (default: the current folder), changing nothing (but with\n"
    "--prove):\n"
    "  - Berkeley DB's own verification of both stores, first; a store that\n"
    "    fails it is read no further;\n"
    "  - every page of both trees, vetted as the library vets the pages a\n"
    "    lookup reads; the first page the library would refuse, by number;\n"
    "  - the proof, every page against its digest: present and matching,\n"
    "    present and not matching (a store damaged or edited since it was\n"
    "    built, its first such page named, or two stores of different builds:\n"
    "    the library refuses them), or absent (the stores are read unproven);\n"
    "  - word index: keys in word normal form (no small letter a to z, no\n"
    "    separator, no line break, not empty), data lengths that are no\n"
    "    multiple of 8, postings of records the record store lacks, records\n"
    "    posted twice under one word; counts of keys, postings and category\n"
    "    codes;\n"
    "  - record store: keys of other than 4 bytes, records no word points to,\n"
    "    texts holding a NUL byte, texts longer than the longest-text entry;\n"
    "    the count, the longest text and the buffer size a host must pass\n"
    "    (longest + 1);\n"
    "  - stop words: entries that can never match (small letters, a blank or\n"
    "    another separator), lines over the reader's 254 bytes, the count.\n"
    "Keys that are stop words, and records without words, are noted.\n"
    "\n"
    "Options:\n"
    "  --json       the report as JSON (byte strings: valid UTF-8 as it is,\n"
    "               other bytes as \\u00XX)\n"
    "  --progress   progress on stderr even when it is no terminal: a line a\n"
    "               second, and one at the end of each phase (on a terminal\n"
    "               it is shown by itself once a check lasts a second)\n"
    "  --prove      when the stores are sound (whatever their proof says), write\n"
    "               \"opere.sum\" for them as they are: stores of another writer,\n"
    "               or changed on purpose, then get the protection of the\n"
    "               builder's; exit 1 and nothing written when they are not\n"
    "  --help       this text\n"
    "  --version    the version\n"
    "\n";

}  // namespace

int main(int argc, char **argv) {
    // The child that verifies one file where the system cannot fork.
    if (argc == 3 && std::strcmp(argv[1], "--verify-one") == 0) {
        std::string messages;
        const int status = textfind::check::verifyInPlace(argv[2], messages);
        std::fputs(messages.c_str(), stdout);
        return status;
    }
    bool json = false, prove = false, progress = false;
    tools::CommandLine line(
        "textfind-check",
        std::string(kHelp) + tools::exitStatusHelp("problems found in the stores"));
    line.flag("--json", [&] { json = true; });
    line.flag("--prove", [&] { prove = true; });
    line.flag("--progress", [&] { progress = true; });
    line.positional("folder", 0, 1);
    if (const std::optional<int> status = line.parse(argc, argv)) return *status;
    const std::string folder = line.positionals().empty() ? "." : line.positionals()[0];
    try {
        tools::Progress shown("textfind-check", progress);
        const textfind::check::Report report = textfind::check::checkFolder(
            folder, [&](const std::string &phase, uint64_t done, uint64_t total, bool finished) {
                if (finished)
                    shown.finished(phase);
                else
                    shown.update(phase, done, total);
            });
        shown.end();
        std::fputs(
            (json ? textfind::check::jsonReport(report) : textfind::check::humanReport(report))
                .c_str(),
            stdout);
        if (!prove) return report.exitStatus();
        std::string why;
        if (!textfind::check::proveFolder(folder, report, why)) {
            std::fprintf(stderr, "textfind-check: %s\n", why.c_str());
            return report.unreadable() ? tools::kExitCannotRun : tools::kExitNothing;
        }
        std::fprintf(stderr, "textfind-check: wrote %s/opere.sum: the stores as they are now\n",
                     folder.c_str());
        return tools::kExitSuccess;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "textfind-check: %s\n", e.what());
        return tools::kExitCannotRun;
    }
}
