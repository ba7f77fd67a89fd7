// textfind-build: builds the search stores "opere.idb" (word index) and
// "opere.ddb" (record store) from a catalogue file.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "c_file.h"
#include "catalogue.h"
#include "encoding.h"
#include "interrupts.h"
#include "options.h"
#include "progress.h"
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
    "                       UTF-8:CP1252 for a host that works in Windows-1252;\n"
    "                       the stores record TO\n"
    "  --replace            with --encoding: a character that has no form in TO\n"
    "                       becomes '?' (counted) instead of an error\n"
    "  --stop-words FILE    write FILE, one stop word a line in the catalogue's\n"
    "                       code page, as FOLDER's \"noused.txt\", converted as\n"
    "                       the texts are (CR LF line ends), once the stores are\n"
    "                       in place\n"
    "  --max-text N         a text stored longer than N bytes (after --encoding)\n"
    "                       is an error naming its line, for a host whose\n"
    "                       buffer holds N + 1 bytes\n"
    "  --restore            build nothing: put back the stores of FOLDER that a\n"
    "                       build killed while it put its files in place had\n"
    "                       begun to replace (every build does this first)\n"
    "  --progress           progress on stderr even when it is no terminal: a\n"
    "                       line a second, and one at the end of each phase\n"
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
    "--encoding the texts are stored as they are (the stores record UTF-8\n"
    "when they are); a catalogue that is not UTF-8 then gets a note naming its\n"
    "first such byte. Stop words are indexed like any word: the query side\n"
    "drops them.\n"
    "\n"
    "The proof: for each store its file identifier, page size and pages, a\n"
    "digest of every page, and the longest text. The library checks each page\n"
    "against its digest the first time a process reads it, and refuses a page\n"
    "that is not what was written (a damaged or edited store) and two stores\n"
    "of different builds. Copy all three files together; stores copied\n"
    "without it are read unproven. \"opere.ddb\" also holds, under the keys\n"
    "\"longest-text\" and \"code-page\" (which no record can have: record keys\n"
    "are 4 bytes), the length of the longest text, 4 bytes least significant\n"
    "first, and the texts' code page. A host's text buffer must hold the\n"
    "longest text plus one byte; a longer record is refused.\n"
    "\n"
    "Problems in the catalogue: a line the reader cannot take is named and\n"
    "ends the build; texts that cannot be converted and category codes longer\n"
    "than 2 bytes are all told (the first 20, then a count) before it ends. No\n"
    "store is replaced then. The stores are written under temporary names in\n"
    "FOLDER and put in place as a pair (the proof, the record store, the\n"
    "index; a failed step puts the earlier files back); an interrupt removes\n"
    "every file the build made. A build killed outright while it moved its\n"
    "files (the journal \"opere.swap\" is then left) is undone by --restore or\n"
    "by the next build. Memory stays bounded whatever the catalogue's size:\n"
    "170 MiB at most (160 MiB measured for a 1 GB catalogue), with sorted runs\n"
    "in temporary files in FOLDER. Progress (a percentage of the catalogue\n"
    "read, then of each store written) goes to stderr when it is a terminal\n"
    "and the build lasts over a second.\n"
    "\n";

struct Arguments {
    bool restore = false;
    bool progress = false;
    textfind::build::ReadOptions read;
    std::string encoding;
    std::string stopWords;
    std::string catalogue;
    std::string folder = ".";
};

// Parses the command line; nothing to go on, or the status to end with.
std::optional<int> parse(int argc, char **argv, Arguments &arguments) {
    tools::CommandLine line(
        "textfind-build",
        std::string(kHelp) + tools::exitStatusHelp("problems found in the catalogue"));
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
    line.flag("--progress", [&] { arguments.progress = true; });
    line.option("--stop-words", [&](const std::string &value) -> std::optional<std::string> {
        arguments.stopWords = value;
        return std::nullopt;
    });
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

// Every text that could not be converted and every code too long, then the
// failure.
int lineFailure(const textfind::build::CatalogueReader &reader) {
    for (const std::string &problem : reader.lineProblems())
        std::fprintf(stderr, "textfind-build: %s\n", problem.c_str());
    const std::size_t count = reader.conversionProblemCount() + reader.longCodeCount();
    const std::size_t more = count - reader.lineProblems().size();
    if (more > 0) std::fprintf(stderr, "textfind-build: ... and %zu more lines\n", more);
    std::string what;
    if (reader.conversionProblemCount() > 0)
        what = tools::counted(reader.conversionProblemCount(), "line", "lines") +
               " cannot be converted";
    if (reader.longCodeCount() > 0)
        what += (what.empty() ? "" : "; ") +
                tools::counted(reader.longCodeCount(), "category code is", "category codes are") +
                " longer than 2 bytes";
    return fail(tools::kExitNothing, what + "; no store was replaced");
}

// The stop words given with --stop-words, converted as the texts are, in
// CR LF lines: what "noused.txt" will hold.
std::string stopWordsFile(const std::string &path, tools::Converter *converter) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error(path + ": " + std::strerror(errno));
    std::string out, line;
    for (std::size_t number = 1; std::getline(in, line); ++number) {
        if (line.ends_with('\r')) line.pop_back();
        if (converter) {
            try {
                line = converter->convert(line);
            } catch (const tools::ConversionError &) {
                textfind::build::failLine(
                    path, number, "a stop word that cannot be converted to " + converter->to());
            }
        }
        out += line + "\r\n";
    }
    return out;
}

// Replaces FOLDER's stop words whole: written aside, then renamed.
void writeStopWords(const std::string &folder, const std::string &bytes) {
    const std::string target = folder + "/" + textfind::kStopWordFile;
    const std::string written = target + ".tmp";
    tools::removeOnInterrupt(written);
    std::ofstream out(written, std::ios::binary);
    out << bytes;
    out.close();
    std::error_code error;
    if (out.fail()) error = std::make_error_code(std::errc::io_error);
    if (!error) std::filesystem::rename(written, target, error);
    tools::forgetOnInterrupt(written);
    if (error) {
        std::filesystem::remove(written, error);
        throw std::runtime_error("cannot write " + target);
    }
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
    const textfind::CFile input(std::fopen(arguments.catalogue.c_str(), "rb"));
    if (!input)
        return fail(tools::kExitCannotRun, arguments.catalogue + ": " + std::strerror(errno));
    // Known to convert before the catalogue is read.
    const std::optional<std::string> stopWords =
        arguments.stopWords.empty()
            ? std::nullopt
            : std::optional<std::string>(stopWordsFile(arguments.stopWords, converter.get()));
    textfind::build::CatalogueReader reader(input.get(), arguments.catalogue, arguments.read);
    textfind::build::StoreBuilder builder(arguments.folder, arguments.catalogue);
    tools::Progress progress("textfind-build", arguments.progress);
    std::error_code unknown;
    const uint64_t size = std::filesystem::file_size(arguments.catalogue, unknown);
    const std::string reading = "reading " + arguments.catalogue;
    textfind::build::CatalogueRecord record;
    std::size_t line = 0;
    while (reader.next(record, line)) {
        builder.add(record, line);
        if ((builder.records() & 0xFFF) == 0)
            progress.update(reading, reader.bytesTaken(), unknown ? 0 : size,
                            tools::counted(builder.records(), "record", "records"));
    }
    progress.finished(reading, tools::counted(builder.records(), "record", "records"));
    if (!reader.lineProblems().empty()) return lineFailure(reader);
    builder.onProgress([&](const char *file, std::size_t done, std::size_t total) {
        const std::string phase = std::string("writing ") + file;
        if (done == total)
            progress.finished(phase);
        else
            progress.update(phase, done, total);
    });
    // The code page the texts are stored in, where the build knows it.
    std::optional<std::string> codePage;
    if (converter)
        codePage = converter->to();
    else if (!reader.notUtf8())
        codePage = "UTF-8";
    const auto summary = builder.finish(codePage);
    if (stopWords) writeStopWords(arguments.folder, *stopWords);
    progress.end();
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
