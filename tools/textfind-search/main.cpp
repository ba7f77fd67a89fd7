// textfind-search: runs a query from the shell through the library's
// exports, exactly as a host does: ScanDB, then ResSet until 0 (or FindDB
// for one record), with a text buffer sized from the store. Linked with the
// library's own objects, so that the record numbers behind the texts are
// the result set the exports fill, and what it says beside the answer
// (diagnosis.h) reads the same stores with the same code.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "btree_file.h"
#include "diagnosis.h"
#include "encoding.h"
#include "format.h"
#include "json.h"
#include "options.h"
#include "result_set.h"
#include "store_pair.h"
#include "textfind.h"
#include "wording.h"
#include "words.h"

namespace {

constexpr const char *kHelp =
    "usage: textfind-search [options] QUERY...\n"
    "       textfind-search [options] --record N\n"
    "\n"
    "Searches the stores in FOLDER through the library, as a host does: ScanDB,\n"
    "then ResSet until the result set is empty; with --record, FindDB. The text\n"
    "buffer is sized from the store (its longest text plus one byte). Beside\n"
    "the answer it says how many more records the selector left out, and an\n"
    "answer of no record says why: the words that are stop words, the words\n"
    "the index does not hold, the categories of the records that hold them.\n"
    "\n"
    "Options:\n"
    "  --folder FOLDER   where opere.idb, opere.ddb and noused.txt lie\n"
    "                    (default: the current folder)\n"
    "  --all             records holding every word (the default)\n"
    "  --any             records holding any word\n"
    "  --selector S      the category selector (default \"**\": every category\n"
    "                    but EE and MM; \"**EE;MM\" takes those too)\n"
    "  --count           print only the number of records\n"
    "  --limit N         print at most N texts\n"
    "  --numbers         print each text's record number before it\n"
    "  --record N        print record N's text\n"
    "  --json            the answer as JSON\n"
    "  --color WHEN      mark the query's words in the texts: auto (on a\n"
    "                    terminal, the default), always, never\n"
    "  --encoding E      the stores' code page: the query is converted to it from\n"
    "                    the terminal's, the texts from it to the terminal's (to\n"
    "                    UTF-8 for --json)\n"
    "  --help            this text\n"
    "  --version         the version\n"
    "\n";

struct Options {
    std::string folder = ".";
    int32_t mode = 1;
    std::string selector = "**";
    bool count = false, json = false, numbers = false;
    std::optional<long> limit;
    std::optional<int32_t> record;
    std::string encoding;
    std::string color = "auto";
    std::string query;
};

std::optional<int> parse(int argc, char **argv, Options &o) {
    tools::CommandLine line("textfind-search",
                            std::string(kHelp) + tools::exitStatusHelp("no record matched"));
    line.option("--folder", [&](const std::string &v) -> std::optional<std::string> {
        o.folder = v;
        return std::nullopt;
    });
    line.flag("--all", [&] { o.mode = 1; });
    line.flag("--any", [&] { o.mode = 0; });
    line.option("--selector", [&](const std::string &v) -> std::optional<std::string> {
        o.selector = v;
        return std::nullopt;
    });
    line.flag("--count", [&] { o.count = true; });
    line.flag("--json", [&] { o.json = true; });
    line.flag("--numbers", [&] { o.numbers = true; });
    line.option("--limit", [&](const std::string &v) -> std::optional<std::string> {
        const std::optional<int32_t> n = tools::parseInt32(v);
        if (!n || *n < 0) return "a number of texts, not " + v;
        o.limit = *n;
        return std::nullopt;
    });
    line.option("--record", [&](const std::string &v) -> std::optional<std::string> {
        o.record = tools::parseInt32(v);
        if (!o.record) return "a record number (a signed 32-bit integer), not " + v;
        return std::nullopt;
    });
    line.option("--color", [&](const std::string &v) -> std::optional<std::string> {
        if (v != "auto" && v != "always" && v != "never") return "auto, always or never";
        o.color = v;
        return std::nullopt;
    });
    line.option("--encoding", [&](const std::string &v) -> std::optional<std::string> {
        o.encoding = v;
        return std::nullopt;
    });
    line.positional("query", 0, 1000);
    if (const std::optional<int> status = line.parse(argc, argv)) return status;
    for (const std::string &word : line.positionals())
        o.query += (o.query.empty() ? "" : " ") + word;
    if (!o.record && o.query.empty()) return line.usageError("no query given");
    if (o.record && !o.query.empty()) return line.usageError("--record takes no query");
    return std::nullopt;
}

// The host's buffer: the store's longest text plus one byte, the bound the
// library holds every delivery to, read as ResSet reads it (a damaged store
// is refused, not read). A store without the bound (built elsewhere) gets
// the length of its file: no text it holds can be longer.
std::size_t bufferSize() {
    textfind::BtreeFile store;
    if (store.open(textfind::kRecordFile, 0, true) == textfind::OpenResult::kOpened)
        if (textfind::PairFacts *pair =
                textfind::currentPair(textfind::StoreFile::kRecords, store)) {
            std::optional<uint32_t> longest;
            if (textfind::deliveryLimit(*pair, store, longest) && longest)
                return std::size_t{*longest} + 1;
        }
    std::error_code error;
    const auto length = std::filesystem::file_size(textfind::kRecordFile, error);
    return error ? 1 : static_cast<std::size_t>(length) + 1;
}

// The texts in the store's code page and the way they are shown.
class Shown {
public:
    Shown(const Options &o, const std::string &query) : o_(o) {
        if (!o.encoding.empty()) {
            const std::string shown = o.json ? "UTF-8" : tools::terminalEncoding();
            toStore_ = std::make_unique<tools::Converter>(tools::terminalEncoding(), o.encoding);
            toShown_ = std::make_unique<tools::Converter>(o.encoding, shown);
        }
        query_ = toStore_ ? toStore_->convert(query) : query;
        marked_ =
            !o.json && (o.color == "always" || (o.color == "auto" && tools::stdoutIsTerminal()));
        textfind::forEachWord(query_, [&](std::string_view word) {
            words_.push_back(textfind::wordNormalForm(word));
        });
    }
    const std::string &query() const { return query_; }
    std::string text(const std::string &stored) const {
        const std::string marked = marked_ ? mark(stored) : stored;
        std::size_t replaced = 0;
        return toShown_ ? toShown_->convert(marked, true, replaced) : marked;
    }

private:
    // The query's words in bold; the escapes are ASCII in every code page.
    std::string mark(const std::string &text) const {
        std::string out;
        std::size_t done = 0;
        textfind::forEachIndexedWord(text, [&](std::string_view word) {
            const std::string normal = textfind::wordNormalForm(word);
            if (std::find(words_.begin(), words_.end(), normal) == words_.end()) return;
            const std::size_t at = static_cast<std::size_t>(word.data() - text.data());
            out.append(text, done, at - done).append("\x1b[1m").append(word).append("\x1b[0m");
            done = at + word.size();
        });
        return out.append(text, done);
    }

    const Options &o_;
    std::unique_ptr<tools::Converter> toStore_, toShown_;
    std::string query_;
    std::vector<std::string> words_;
    bool marked_ = false;
};

int findRecord(const Options &o, const Shown &shown, std::vector<char> &buffer) {
    const int32_t rc = FindDB(*o.record, buffer.data());
    if (o.json) {
        tools::JsonWriter json;
        json.beginObject().key("record").value(static_cast<int64_t>(*o.record));
        json.key("result").value(static_cast<int64_t>(rc));
        if (rc == TEXTFIND_RECORD_DELIVERED)
            json.key("text").value(shown.text(buffer.data()));
        else
            json.key("error").value(tools::resultWords(rc, false, o.folder));
        std::printf("%s\n", json.endObject().text().c_str());
    } else if (rc == TEXTFIND_RECORD_DELIVERED) {
        std::printf("%s\n", shown.text(buffer.data()).c_str());
    } else {
        std::fprintf(stderr, "textfind-search: record %d: %s\n", static_cast<int>(*o.record),
                     tools::resultWords(rc, false, o.folder).c_str());
    }
    return rc == TEXTFIND_RECORD_DELIVERED ? tools::kExitSuccess
           : rc == TEXTFIND_RECORD_MISSING ? tools::kExitNothing
                                           : tools::kExitCannotRun;
}

// What the selector left out, and why nothing was found, in lines of the
// answer.
void sayWhy(const Options &o, const Shown &shown, int32_t count,
            const textfind::search::Diagnosis &why) {
    auto listed = [&](const std::vector<std::string> &words) {
        std::string out;
        for (const std::string &word : words) out += (out.empty() ? "" : ", ") + shown.text(word);
        return out;
    };
    if (count == 0 && !why.stopWords.empty())
        std::printf("  stop words, not looked up: %s\n", listed(why.stopWords).c_str());
    if (count == 0 && !why.absent.empty())
        std::printf("  no record holds: %s\n", listed(why.absent).c_str());
    const std::size_t found = static_cast<std::size_t>(count);
    if (why.everyCategory > found)
        std::printf(
            "  the selector \"%s\" leaves out %s%s: --selector '%s' finds %s\n", o.selector.c_str(),
            o.selector == "**" ? "the EE and MM categories, " : "",
            tools::counted(why.everyCategory - found, "more record", "more records").c_str(),
            textfind::search::kEveryCategory,
            tools::counted(why.everyCategory, "record", "records").c_str());
    if (!why.categories.empty()) {
        std::string codes;
        for (const std::string &code : why.categories)
            codes += (codes.empty() ? "" : ", ") + (code.empty() ? std::string("(empty)") : code);
        std::printf(
            "  the records that hold the words are of the categories %s (a selector "
            "names codes as stored: capitals are not small letters)\n",
            codes.c_str());
    }
}

int drain(const Options &o, const Shown &shown, int32_t count, std::vector<char> &buffer,
          tools::JsonWriter &json) {
    // The numbers behind the texts: the result set, drained from its end.
    const textfind::RecordList &entries = textfind::resultSet().entries;
    const textfind::RecordList numbers(entries.rbegin(), entries.rend());
    if (o.json) json.key("texts").beginArray();
    long delivered = 0;
    std::size_t missing = 0, taken = 0;
    int32_t stopped = 0;
    for (int32_t rc; (!o.limit || delivered < *o.limit) &&
                     (rc = ResSet(buffer.data())) != TEXTFIND_RESULT_SET_EMPTY;) {
        const int32_t number = taken < numbers.size() ? numbers[taken] : 0;
        ++taken;
        // The entry stays in the set: going on would never end.
        if (rc == TEXTFIND_RECORD_NO_HANDLE || rc == TEXTFIND_RECORD_NOT_OPENED) {
            stopped = rc;
            break;
        }
        if (rc == TEXTFIND_RECORD_MISSING) {
            ++missing;
            continue;
        }
        ++delivered;
        if (o.json)
            json.value(shown.text(buffer.data()));
        else if (o.numbers)
            std::printf("%d\t%s\n", static_cast<int>(number), shown.text(buffer.data()).c_str());
        else
            std::printf("%s\n", shown.text(buffer.data()).c_str());
    }
    if (o.json) {
        json.endArray().key("numbers").beginArray();
        for (std::size_t i = 0; i < taken && i < numbers.size(); ++i)
            json.value(static_cast<int64_t>(numbers[i]));
        json.endArray().key("missing").value(static_cast<uint64_t>(missing));
        if (stopped) json.key("error").value(tools::resultWords(stopped, false, o.folder));
        std::printf("%s\n", json.endObject().text().c_str());
    }
    if (missing && !o.json)
        std::fprintf(stderr, "textfind-search: %zu %s missing from the store (skipped)\n", missing,
                     missing == 1 ? "record is" : "records are");
    if (stopped) {
        if (!o.json)
            std::fprintf(stderr, "textfind-search: %s\n",
                         tools::resultWords(stopped, false, o.folder).c_str());
        return tools::kExitCannotRun;
    }
    return count == 0 ? tools::kExitNothing : tools::kExitSuccess;
}

int search(const Options &o, const Shown &shown, std::vector<char> &buffer) {
    const int32_t count = ScanDB(shown.query().c_str(), o.mode, o.selector.c_str());
    tools::JsonWriter json;
    if (count < 0) {
        if (o.json) {
            json.beginObject().key("result").value(static_cast<int64_t>(count));
            json.key("error").value(tools::resultWords(count, true, o.folder));
            std::printf("%s\n", json.endObject().text().c_str());
        } else {
            std::fprintf(stderr, "textfind-search: %s\n",
                         tools::resultWords(count, true, o.folder).c_str());
        }
        return tools::kExitCannotRun;
    }
    const textfind::search::Diagnosis why =
        textfind::search::diagnose(shown.query(), o.mode, static_cast<std::size_t>(count));
    if (o.json) {
        json.beginObject().key("query").value(shown.text(shown.query())).key("mode");
        json.value(o.mode == 1 ? "all" : "any").key("selector").value(o.selector);
        json.key("count").value(static_cast<int64_t>(count));
        json.key("leftOut").value(static_cast<uint64_t>(
            why.everyCategory - std::min(why.everyCategory, static_cast<std::size_t>(count))));
    } else {
        std::printf("%s\n", tools::counted(count, "record", "records").c_str());
        sayWhy(o, shown, count, why);
    }
    if (o.count) {
        if (o.json) std::printf("%s\n", json.endObject().text().c_str());
        return count == 0 ? tools::kExitNothing : tools::kExitSuccess;
    }
    return drain(o, shown, count, buffer, json);
}

// The folder, and stores in it: otherwise one line that says what to give.
std::optional<std::string> folderProblem(const std::string &folder) {
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error)) return "no folder " + folder;
    if (!std::filesystem::exists(std::filesystem::path(folder) / textfind::kIndexFile, error))
        return folder + " holds no stores (no " + textfind::kIndexFile +
               "): give the stores' folder with --folder";
    return std::nullopt;
}

}  // namespace

int main(int argc, char **argv) {
    Options o;
    if (const std::optional<int> status = parse(argc, argv, o)) return *status;
    try {
        if (const std::optional<std::string> problem = folderProblem(o.folder)) {
            std::fprintf(stderr, "textfind-search: %s\n", problem->c_str());
            return tools::kExitCannotRun;
        }
        std::filesystem::current_path(o.folder);
        const Shown shown(o, o.query);
        std::vector<char> buffer(bufferSize());
        return o.record ? findRecord(o, shown, buffer) : search(o, shown, buffer);
    } catch (const std::invalid_argument &e) {
        std::fprintf(stderr, "textfind-search: %s (try textfind-search --help)\n", e.what());
        return tools::kExitUsage;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "textfind-search: %s\n", e.what());
        return tools::kExitCannotRun;
    }
}
