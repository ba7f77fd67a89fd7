// textfind-build: builds the search stores "opere.idb" (word index) and
// "opere.ddb" (record store) from a catalogue file.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "catalogue.h"
#include "encoding.h"
#include "stores.h"
#include "version.h"

namespace {

constexpr const char *kUsage =
    "usage: textfind-build [options] CATALOGUE [FOLDER]\n"
    "\n"
    "Builds \"opere.idb\" (word index) and \"opere.ddb\" (record store) in FOLDER\n"
    "(default: the current directory) from CATALOGUE, and their proof\n"
    "\"opere.sum\".\n"
    "\n"
    "Options:\n"
    "  --format tsv|csv     the catalogue's form (default tsv)\n"
    "  --delimiter C        the CSV field delimiter (default ',')\n"
    "  --header             the CSV catalogue's first record names its columns\n"
    "  --encoding FROM:TO   convert the texts (and so the words indexed from\n"
    "                       them) from code page FROM to TO, for instance\n"
    "                       UTF-8:CP1252 for a host that works in Windows-1252\n"
    "  --replace            with --encoding: a character that has no form in TO\n"
    "                       becomes '?' (counted) instead of an error\n"
    "  --help               this text\n"
    "  --version            the version\n"
    "\n"
    "Tab-separated catalogues hold one record per line, three fields:\n"
    "  record number   decimal, optional leading '-', signed 32-bit, unique\n"
    "  category code   0 to 2 bytes (an empty field is the empty code)\n"
    "  text            the rest of the line, stored byte for byte\n"
    "Lines end with LF (a CR before it is dropped); empty lines and lines\n"
    "starting with '#' are skipped. CSV catalogues (RFC 4180) hold the same\n"
    "three fields per record; quoted fields may hold the delimiter, doubled\n"
    "quotes and line breaks. Stop words are indexed like any word: the query\n"
    "side drops them.\n"
    "\n"
    "The proof: for each store its file identifier, length and digest, and the\n"
    "longest text. The library checks it the first time a process meets the\n"
    "pair, reading both files whole once (about as long as reading them), and\n"
    "refuses a pair it does not match: a damaged or edited store, or two\n"
    "stores of different builds. Copy all three files together; stores\n"
    "copied without it are read unproven. Neither store has page checksums.\n"
    "\"opere.ddb\" also holds, under the key \"longest-text\" (which no record\n"
    "can have: record keys are 4 bytes), the length of the longest text, 4\n"
    "bytes least significant first. A host's text buffer must hold that many\n"
    "bytes plus one; a longer record is refused.\n"
    "\n"
    "On bad input the line is named, the exit status is 1 and no store is\n"
    "replaced. The stores are written under temporary names in FOLDER and put\n"
    "in place as a pair (the proof, the record store, the index; a failed step\n"
    "puts the earlier files back); an interrupt removes every file the build\n"
    "made. Memory stays bounded whatever the catalogue's size (about 100 MiB),\n"
    "with sorted runs in temporary files in FOLDER. Progress goes to stderr\n"
    "when it is a terminal.\n";

using Clock = std::chrono::steady_clock;

struct Arguments {
    textfind::build::ReadOptions read;
    std::string encoding;
    std::string catalogue;
    std::string folder = ".";
};

// Returns false with `error` set for a command line that makes no sense.
bool parse(int argc, char **argv, Arguments &arguments, std::string &error, bool &help) {
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        auto value = [&](const char *name) -> const char * {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a value";
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        } else if (arg == "--format") {
            const char *v = value("--format");
            if (!v) return false;
            if (std::strcmp(v, "csv") == 0) {
                arguments.read.format = textfind::build::Format::kCsv;
            } else if (std::strcmp(v, "tsv") != 0) {
                error = std::string("unknown format ") + v;
                return false;
            }
        } else if (arg == "--delimiter") {
            const char *v = value("--delimiter");
            if (!v) return false;
            if (std::strlen(v) != 1 || *v == '"' || *v == '\n' || *v == '\r') {
                error = "the delimiter is one byte, not a quote or a line end";
                return false;
            }
            arguments.read.delimiter = *v;
        } else if (arg == "--header") {
            arguments.read.header = true;
        } else if (arg == "--encoding") {
            const char *v = value("--encoding");
            if (!v) return false;
            arguments.encoding = v;
        } else if (arg == "--replace") {
            arguments.read.replaceUnconvertible = true;
        } else if (arg.starts_with("-") && arg.size() > 1) {
            error = "unknown option " + std::string(arg);
            return false;
        } else if (positional == 0) {
            arguments.catalogue = argv[i];
            ++positional;
        } else if (positional == 1) {
            arguments.folder = argv[i];
            ++positional;
        } else {
            error = "too many arguments";
            return false;
        }
    }
    if (positional == 0) error = "no catalogue named";
    return positional > 0;
}

// Shown only on a terminal; at most once a second.
class Progress {
public:
    explicit Progress(bool shown) : shown_(shown), start_(Clock::now()), last_(start_) {}
    void update(std::size_t records, std::size_t words) {
        if (!shown_ || (records & 0x3FFF) != 0) return;
        const auto now = Clock::now();
        if (now - last_ < std::chrono::seconds(1)) return;
        last_ = now;
        std::fprintf(stderr, "\rtextfind-build: %zu records, %zu words, %.0f s", records, words,
                     std::chrono::duration<double>(now - start_).count());
        std::fflush(stderr);
    }
    void done() {
        if (shown_ && last_ != start_) std::fputs("\n", stderr);
    }

private:
    bool shown_;
    Clock::time_point start_, last_;
};

}  // namespace

int main(int argc, char **argv) {
    if (tools::printedVersion(argc, argv, "textfind-build")) return 0;
    Arguments arguments;
    std::string error;
    bool help = false;
    if (!parse(argc, argv, arguments, error, help)) {
        std::fprintf(stderr, "textfind-build: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        std::unique_ptr<tools::Converter> converter;
        if (!arguments.encoding.empty()) {
            const std::size_t colon = arguments.encoding.find(':');
            if (colon == std::string::npos) {
                std::fprintf(stderr, "textfind-build: --encoding takes FROM:TO\n");
                return 2;
            }
            converter = std::make_unique<tools::Converter>(arguments.encoding.substr(0, colon),
                                                           arguments.encoding.substr(colon + 1));
            arguments.read.converter = converter.get();
        }
        std::FILE *input = std::fopen(arguments.catalogue.c_str(), "rb");
        if (!input) throw std::runtime_error(arguments.catalogue + ": cannot open");
        struct Closer {
            std::FILE *file;
            ~Closer() { std::fclose(file); }
        } closer{input};
        textfind::build::CatalogueReader reader(input, arguments.catalogue, arguments.read);
        textfind::build::StoreBuilder builder(arguments.folder, arguments.catalogue);
        Progress progress(tools::stderrIsTerminal());
        textfind::build::CatalogueRecord record;
        std::size_t line = 0;
        while (reader.next(record, line)) {
            builder.add(record, line);
            progress.update(builder.records(), builder.words());
        }
        const auto summary = builder.finish();
        progress.done();
        std::printf("textfind-build: %zu records, %zu words, longest text %zu bytes -> %s",
                    summary.records, summary.words, summary.longestText, arguments.folder.c_str());
        if (reader.replaced() > 0)
            std::printf(" (%zu characters replaced by '?')", reader.replaced());
        std::printf("\n");
        return 0;
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr, "textfind-build: %s\n", e.what());
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "textfind-build: %s\n", e.what());
        return 1;
    }
}
