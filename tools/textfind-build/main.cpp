// textfind-build: builds the search stores "opere.idb" (word index) and
// "opere.ddb" (record store) from a catalogue file.
//
// usage: textfind-build CATALOGUE [FOLDER]
//
// The catalogue holds one record per line, three tab-separated fields:
// record number (signed 32-bit decimal), category code (0 to 2 bytes) and
// the text (the rest of the line). See catalogue.h for the details.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>

#include "catalogue.h"

namespace {

constexpr const char *kUsage =
    "usage: textfind-build CATALOGUE [FOLDER]\n"
    "\n"
    "Builds \"opere.idb\" (word index) and \"opere.ddb\" (record store) in FOLDER\n"
    "(default: the current directory) from CATALOGUE.\n"
    "\n"
    "CATALOGUE holds one record per line, three fields separated by tabs:\n"
    "  record number   decimal, optional leading '-', signed 32-bit, unique\n"
    "  category code   0 to 2 bytes (an empty field is the empty code)\n"
    "  text            the rest of the line, stored byte for byte\n"
    "Lines end with LF (a CR before it is dropped); empty lines and lines\n"
    "starting with '#' are skipped. Stop words are indexed like any word: the\n"
    "query side drops them.\n"
    "\n"
    "On bad input the line is named, the exit status is 1 and no store is\n"
    "replaced. The stores are written under temporary names in FOLDER and\n"
    "renamed into place.\n";

}  // namespace

int main(int argc, char **argv) {
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc < 2 || argc > 3) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    const std::string catalogue = argv[1];
    const std::string folder = argc == 3 ? argv[2] : ".";
    try {
        const auto records = textfind::build::readCatalogue(catalogue);
        const auto summary = textfind::build::writeStores(records, folder);
        std::printf("textfind-build: %zu records, %zu words, longest text %zu bytes -> %s\n",
                    summary.records, summary.words, summary.longestText, folder.c_str());
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "textfind-build: %s\n", e.what());
        return 1;
    }
}
