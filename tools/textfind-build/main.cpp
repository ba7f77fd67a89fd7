// textfind-build: builds the search stores "opere.idb" (word index) and
// "opere.ddb" (record store) from a catalogue file.
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue.h"
#include "encoding.h"
#include "options.h"
#include "replace.h"
#include "stores.h"
#include "wording.h"

namespace {

constexpr const char *kHelp =
    "usage: textfind-build [options] CATALOGUE [FOLDER]\n"
    "       textfind-build --restore FOLDER\n"
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
    "  --max-text N         a text stored longer than N bytes (after --encoding)\n"
    "                       is an error naming its line, for a host whose\n"
    "                       buffer holds N + 1 bytes\n"
    "  --restore            build nothing: put back the stores of FOLDER that a\n"
    "                       build killed while it put its files in place had\n"
    "                       begun to replace (every build does this first)\n"
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
    "quotes and line breaks (a line break ends a word, as a blank does; the\n"
    "text is stored as written). A UTF-8 byte order mark is skipped. Without\n"
    "--encoding the texts are stored as they are; a catalogue that is not\n"
    "UTF-8 then gets a note naming its first such byte. Stop words are indexed\n"
    "like any word: the query side drops them.\n"
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
    "made. A build killed outright while it moved its files (the journal\n"
    "\"opere.swap\" is then left) is undone by --restore or by the next build. Memory stays "
    "bounded whatever the catalogue's size (about 100 MiB),\n"
    "with sorted runs in temporary files in FOLDER. Progress goes to stderr\n"
    "when it is a terminal.\n"
    "\n";

using Clock = std::chrono::steady_clock;

struct Arguments {
    bool restore = false;
    textfind::build::ReadOptions read;
    std::string encoding;
    std::string catalogue;
    std::string folder = ".";
};

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

// Parses the command line; nothing to go on, or the status to end with.
std::optional<int> parse(int argc, char **argv, Arguments &arguments) {
    tools::CommandLine line("textfind-build", std::string(kHelp) + tools::kExitStatusHelp);
    bool csv = false;
    line.option("--format", [&](const std::string &value) -> std::optional<std::string> {
        if (value != "csv" && value != "tsv") return "tsv or csv, not " + value;
        csv = value == "csv";
        return std::nullopt;
    });
    line.option("--delimiter", [&](const std::string &value) -> std::optional<std::string> {
        if (value.size() != 1 || value == "\"" || value == "\n" || value == "\r")
            return "one byte, not a quote or a line end";
        arguments.read.delimiter = value[0];
        return std::nullopt;
    });
    line.flag("--header", [&] { arguments.read.header = true; });
    line.option("--encoding", [&](const std::string &value) -> std::optional<std::string> {
        if (value.find(':') == std::string::npos) return "FROM:TO, for instance UTF-8:CP1252";
        arguments.encoding = value;
        return std::nullopt;
    });
    line.flag("--replace", [&] { arguments.read.replaceUnconvertible = true; });
    line.option("--max-text", [&](const std::string &value) -> std::optional<std::string> {
        const std::optional<int32_t> n = tools::parseInt32(value);
        if (!n || *n <= 0) return "a number of bytes, not " + value;
        arguments.read.maxText = static_cast<std::size_t>(*n);
        return std::nullopt;
    });
    line.flag("--restore", [&] { arguments.restore = true; });
    line.positional("catalogue", 1, 2);
    if (const std::optional<int> status = line.parse(argc, argv)) return status;
    if (arguments.restore) {
        if (line.positionals().size() != 1) return line.usageError("--restore takes one FOLDER");
        arguments.folder = line.positionals()[0];
        return std::nullopt;
    }
    arguments.catalogue = line.positionals()[0];
    if (line.positionals().size() > 1) arguments.folder = line.positionals()[1];
    arguments.read.format =
        csv ? textfind::build::Format::kCsv : textfind::build::Format::kTabSeparated;
    if (arguments.read.header && !csv)
        return line.usageError(
            "--header is for CSV catalogues (--format csv); a tab-separated catalogue skips "
            "lines that start with '#'");
    if (arguments.read.replaceUnconvertible && arguments.encoding.empty())
        return line.usageError("--replace goes with --encoding");
    return std::nullopt;
}

// The folder can take the stores: checked before the catalogue is read.
std::optional<std::string> folderProblem(const std::string &folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return folder + ": no such folder (give a folder that exists)";
    const std::string probe = folder + "/.textfind-build.probe";
    std::FILE *file = std::fopen(probe.c_str(), "wb");
    if (!file) return "cannot write in " + folder + ": " + std::strerror(errno);
    std::fclose(file);
    std::remove(probe.c_str());
    return std::nullopt;
}

int fail(int status, const std::string &message) {
    std::fprintf(stderr, "textfind-build: %s\n", message.c_str());
    return status;
}

// Every text that could not be converted, then the failure.
int conversionFailure(const textfind::build::CatalogueReader &reader) {
    for (const std::string &problem : reader.conversionProblems())
        std::fprintf(stderr, "textfind-build: %s\n", problem.c_str());
    const std::size_t more = reader.conversionProblemCount() - reader.conversionProblems().size();
    if (more > 0) std::fprintf(stderr, "textfind-build: ... and %zu more lines\n", more);
    const std::size_t count = reader.conversionProblemCount();
    return fail(tools::kExitNothing, std::to_string(count) + (count == 1 ? " line" : " lines") +
                                         " cannot be converted; no store was replaced");
}

void noteNotUtf8(const textfind::build::CatalogueReader &reader) {
    if (!reader.notUtf8()) return;
    std::fprintf(stderr,
                 "textfind-build: note: the catalogue is not UTF-8 (%s); its bytes are stored as "
                 "they are, so a host that queries in UTF-8 finds no word holding them. Name its "
                 "code page with --encoding FROM:TO (for instance --encoding ISO-8859-1:UTF-8)\n",
                 reader.notUtf8()->c_str());
}

// What an earlier build killed while it moved its files left, undone.
void restore(const std::string &folder, bool asked) {
    switch (textfind::build::restoreInterruptedSwap(folder)) {
    case textfind::build::Restored::kNothing:
        if (asked) std::printf("textfind-build: nothing to restore in %s\n", folder.c_str());
        break;
    case textfind::build::Restored::kPutBack:
        std::printf(
            "textfind-build: %s: put back the stores that an interrupted build had begun to "
            "replace\n",
            folder.c_str());
        break;
    case textfind::build::Restored::kCompleted:
        std::printf(
            "textfind-build: %s: an interrupted build had put its stores in place; its traces "
            "are removed\n",
            folder.c_str());
        break;
    }
}

int build(Arguments &arguments) {
    std::unique_ptr<tools::Converter> converter;
    if (!arguments.encoding.empty()) {
        const std::size_t colon = arguments.encoding.find(':');
        converter = std::make_unique<tools::Converter>(arguments.encoding.substr(0, colon),
                                                       arguments.encoding.substr(colon + 1));
        arguments.read.converter = converter.get();
    }
    if (const std::optional<std::string> problem = folderProblem(arguments.folder))
        return fail(tools::kExitCannotRun, *problem);
    restore(arguments.folder, false);
    std::FILE *input = std::fopen(arguments.catalogue.c_str(), "rb");
    if (!input)
        return fail(tools::kExitCannotRun, arguments.catalogue + ": " + std::strerror(errno));
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
    progress.done();
    if (reader.conversionProblemCount() > 0) return conversionFailure(reader);
    const auto summary = builder.finish();
    std::printf("textfind-build: %s, %s, longest text %zu bytes (a host's buffer needs %zu) -> %s",
                tools::counted(summary.records, "record", "records").c_str(),
                tools::counted(summary.words, "word", "words").c_str(), summary.longestText,
                summary.longestText + 1, arguments.folder.c_str());
    if (reader.replaced() > 0)
        std::printf(" (%s replaced by '?')",
                    tools::counted(reader.replaced(), "character", "characters").c_str());
    std::printf("\n");
    noteNotUtf8(reader);
    return tools::kExitSuccess;
}

}  // namespace

int main(int argc, char **argv) {
    Arguments arguments;
    if (const std::optional<int> status = parse(argc, argv, arguments)) return *status;
    try {
        if (arguments.restore) {
            if (const std::optional<std::string> problem = folderProblem(arguments.folder))
                return fail(tools::kExitCannotRun, *problem);
            restore(arguments.folder, true);
            return tools::kExitSuccess;
        }
        return build(arguments);
    } catch (const textfind::build::CatalogueError &e) {
        return fail(tools::kExitNothing, std::string(e.what()) + "; no store was replaced");
    } catch (const std::invalid_argument &e) {
        return fail(tools::kExitUsage, std::string(e.what()) + " (try textfind-build --help)");
    } catch (const std::exception &e) {
        return fail(tools::kExitCannotRun, e.what());
    }
}
