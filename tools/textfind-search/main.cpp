// textfind-search: runs a query from the shell through the library's own
// exports, exactly as a host does: ScanDB, then ResSet until 0 (or FindDB
// for one record), with a text buffer sized from the store.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "btree_file.h"
#include "encoding.h"
#include "format.h"
#include "json.h"
#include "textfind.h"
#include "version.h"

namespace {

constexpr const char *kUsage =
    "usage: textfind-search [options] QUERY...\n"
    "       textfind-search [options] --record N\n"
    "\n"
    "Searches the stores in FOLDER through the library, as a host does: ScanDB,\n"
    "then ResSet until the result set is empty; with --record, FindDB. The text\n"
    "buffer is sized from the store (its longest text plus one byte).\n"
    "\n"
    "  --folder FOLDER   where opere.idb, opere.ddb and noused.txt lie\n"
    "                    (default: the current folder)\n"
    "  --all             records holding every word (the default)\n"
    "  --any             records holding any word\n"
    "  --selector S      the category selector (default \"**\")\n"
    "  --count           print only the number of records\n"
    "  --limit N         print at most N texts\n"
    "  --record N        print record N's text\n"
    "  --json            the answer as JSON\n"
    "  --encoding E      the stores' code page: the query is converted to it from\n"
    "                    the terminal's, the texts from it to the terminal's (to\n"
    "                    UTF-8 for --json)\n"
    "  --help            this text\n"
    "  --version         the version\n"
    "\n"
    "Exit status: 0 answered, 1 the record asked for is not in the store, 2 the\n"
    "search could not run (the words say why).\n";

std::string explanation(int32_t code, bool scan) {
    switch (code) {
    case -1: return "no database handle could be created (or memory ran out)";
    case -2: return scan ? "opere.idb cannot be opened or read" : "opere.ddb cannot be opened";
    case -3: return "the record is not in the store";
    default: return "unexpected result " + std::to_string(code);
    }
}

// The host's buffer: the store's longest text plus one byte, from its
// longest-text entry, which the library holds every delivery to. A store
// without the entry (built elsewhere) gets the length of its file: no text
// it holds can be longer.
std::size_t bufferSize() {
    textfind::BtreeFile store;
    std::string_view data;
    if (store.open(textfind::kRecordFile, 0, true) == textfind::OpenResult::kOpened &&
        store.get(textfind::kLongestTextKey, data) == textfind::Lookup::kFound &&
        data.size() == textfind::kLongestTextSize)
        return std::size_t{
                   textfind::readU32(reinterpret_cast<const unsigned char *>(data.data()))} +
               1;
    std::error_code error;
    const auto length = std::filesystem::file_size(textfind::kRecordFile, error);
    return error ? 1 : static_cast<std::size_t>(length) + 1;
}

struct Options {
    std::string folder = ".";
    int32_t mode = 1;
    std::string selector = "**";
    bool count = false, json = false, hasRecord = false;
    long limit = -1;
    int32_t record = 0;
    std::string encoding;
    std::string query;
};

bool parse(int argc, char **argv, Options &o, std::string &error, bool &help) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> const char * { return i + 1 < argc ? argv[++i] : nullptr; };
        if (arg == "--help" || arg == "-h") {
            help = true;
            return true;
        }
        if (arg == "--all") {
            o.mode = 1;
        } else if (arg == "--any") {
            o.mode = 0;
        } else if (arg == "--count") {
            o.count = true;
        } else if (arg == "--json") {
            o.json = true;
        } else if (arg == "--folder" || arg == "--selector" || arg == "--limit" ||
                   arg == "--record" || arg == "--encoding") {
            const char *v = value();
            if (!v) {
                error = arg + " needs a value";
                return false;
            }
            char *end = nullptr;
            if (arg == "--folder") o.folder = v;
            if (arg == "--selector") o.selector = v;
            if (arg == "--encoding") o.encoding = v;
            if (arg == "--limit") o.limit = std::strtol(v, &end, 10);
            if (arg == "--record") {
                o.record = static_cast<int32_t>(std::strtol(v, &end, 10));
                o.hasRecord = true;
            }
            if (end && (*end || end == v)) {
                error = arg + " takes a number";
                return false;
            }
        } else if (arg.size() > 1 && arg[0] == '-' && arg[1] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            o.query += (o.query.empty() ? "" : " ") + arg;
        }
    }
    if (!o.hasRecord && o.query.empty()) error = "no query";
    return o.hasRecord || !o.query.empty();
}

}  // namespace

int main(int argc, char **argv) {
    if (tools::printedVersion(argc, argv, "textfind-search")) return 0;
    Options o;
    std::string error;
    bool help = false;
    if (!parse(argc, argv, o, error, help)) {
        std::fprintf(stderr, "textfind-search: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    }
    if (help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    try {
        std::unique_ptr<tools::Converter> toStore, toShown;
        if (!o.encoding.empty()) {
            const std::string shown = o.json ? "UTF-8" : tools::terminalEncoding();
            toStore = std::make_unique<tools::Converter>(tools::terminalEncoding(), o.encoding);
            toShown = std::make_unique<tools::Converter>(o.encoding, shown);
        }
        auto shown = [&](const std::string &text) {
            std::size_t replaced = 0;
            return toShown ? toShown->convert(text, true, replaced) : text;
        };
        std::filesystem::current_path(o.folder);
        std::vector<char> buffer(bufferSize());
        tools::JsonWriter json;

        if (o.hasRecord) {
            const int32_t rc = FindDB(o.record, buffer.data());
            if (o.json) {
                json.beginObject().key("record").value(static_cast<int64_t>(o.record));
                json.key("result").value(static_cast<int64_t>(rc));
                if (rc == 1)
                    json.key("text").value(shown(buffer.data()));
                else
                    json.key("error").value(explanation(rc, false));
                std::printf("%s\n", json.endObject().text().c_str());
            } else if (rc == 1) {
                std::printf("%s\n", shown(buffer.data()).c_str());
            } else {
                std::fprintf(stderr, "textfind-search: record %d: %s\n", static_cast<int>(o.record),
                             explanation(rc, false).c_str());
            }
            return rc == 1 ? 0 : rc == -3 ? 1 : 2;
        }

        const std::string query = toStore ? toStore->convert(o.query) : o.query;
        const int32_t count = ScanDB(query.c_str(), o.mode, o.selector.c_str());
        if (count < 0) {
            if (o.json) {
                json.beginObject().key("result").value(static_cast<int64_t>(count));
                json.key("error").value(explanation(count, true));
                std::printf("%s\n", json.endObject().text().c_str());
            } else {
                std::fprintf(stderr, "textfind-search: %s\n", explanation(count, true).c_str());
            }
            return 2;
        }
        if (o.json) {
            json.beginObject().key("query").value(shown(query)).key("mode");
            json.value(o.mode == 1 ? "all" : "any").key("selector").value(o.selector);
            json.key("count").value(static_cast<int64_t>(count));
        } else {
            std::printf("%d records\n", static_cast<int>(count));
        }
        if (o.count) {
            if (o.json) std::printf("%s\n", json.endObject().text().c_str());
            return 0;
        }
        if (o.json) json.key("texts").beginArray();
        long delivered = 0;
        std::size_t missing = 0;
        int32_t stopped = 0;
        for (int32_t rc;
             (o.limit < 0 || delivered < o.limit) && (rc = ResSet(buffer.data())) != 0;) {
            if (rc == -1 || rc == -2) {  // the entry stays in the set: going on would never end
                stopped = rc;
                break;
            }
            if (rc == -3) {
                ++missing;
                continue;
            }
            ++delivered;
            if (o.json)
                json.value(shown(buffer.data()));
            else
                std::printf("%s\n", shown(buffer.data()).c_str());
        }
        if (o.json) {
            json.endArray().key("missing").value(static_cast<uint64_t>(missing));
            if (stopped) json.key("error").value(explanation(stopped, false));
            std::printf("%s\n", json.endObject().text().c_str());
        }
        if (missing && !o.json)
            std::fprintf(stderr,
                         "textfind-search: %zu records are missing from the store (skipped)\n",
                         missing);
        if (stopped) {
            if (!o.json)
                std::fprintf(stderr, "textfind-search: %s\n", explanation(stopped, false).c_str());
            return 2;
        }
        return 0;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "textfind-search: %s\n", e.what());
        return 2;
    }
}
