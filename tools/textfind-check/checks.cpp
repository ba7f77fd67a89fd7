#include "checks.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "btree_file.h"
#include "category_filter.h"
#include "file_stamp.h"
#include "format.h"
#include "isolated.h"
#include "postings.h"
#include "scramble.h"
#include "utf8.h"
#include "words.h"

namespace textfind::check {

namespace {

// Every key and data item of a verified file, in key order.
template <typename Visit>
bool forEachItem(const std::string &path, Visit &&visit) {
    BtreeFile file;
    return file.open(path.c_str(), 0, true) == OpenResult::kOpened && file.forEach(visit);
}

std::string nameOf(const std::string &path) {
    return std::filesystem::path(path).filename().string();
}

bool hasSmallLetter(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(), [](char c) { return c >= 'a' && c <= 'z'; });
}

bool hasSeparator(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char c) { return isSeparator(static_cast<unsigned char>(c)); });
}

// The entry with its accented capitals of Latin-1 (U+00C0 to U+00DE, but
// the sign U+00D7) made small, in UTF-8 or a single-byte code page of that
// range; nothing when it holds none.
std::optional<std::string> smallAccentedForm(const std::string &entry, bool utf8) {
    std::string form = entry;
    bool changed = false;
    for (std::size_t i = 0; i < form.size(); ++i) {
        const auto byte = static_cast<unsigned char>(form[i]);
        const bool lead = utf8 && byte == 0xC3 && i + 1 < form.size();
        const auto capital = static_cast<unsigned char>(lead ? form[i + 1] : byte);
        const unsigned char first = lead ? 0x80 : 0xC0, last = lead ? 0x9E : 0xDE;
        if ((utf8 && !lead) || capital < first || capital > last || capital == first + 0x17)
            continue;
        form[lead ? i + 1 : i] = static_cast<char>(capital + 0x20);
        changed = true;
        if (lead) ++i;
    }
    return changed ? std::optional<std::string>(form) : std::nullopt;
}

bool hasLineBreak(std::string_view bytes) {
    return bytes.find_first_of("\r\n") != std::string_view::npos;
}

// Lines over the reader's limit, as the reader counts their bytes.
void checkLineLengths(const std::string &raw, Sink &sink) {
    std::size_t length = 0;
    for (std::size_t i = 0; i <= raw.size(); ++i) {
        if (i == raw.size() || raw[i] == '\n' || raw[i] == '\x1a') {
            if (length > kStopWordLineLimit)
                sink.problems.add(kStopWordFile,
                                  "line longer than " + std::to_string(kStopWordLineLimit) +
                                      " bytes (the rest is dropped)",
                                  raw.substr(i - length, std::min<std::size_t>(length, 40)));
            if (i == raw.size() || raw[i] == '\x1a') break;
            length = 0;
        } else if (raw[i] != '\r' || (i + 1 < raw.size() && raw[i + 1] != '\n')) {
            ++length;
        }
    }
}

}  // namespace

void verifyStore(const std::string &path, StoreFacts &facts) {
    // A folder or a device in a store's place is no store.
    const std::optional<FileStamp> stamp = stampOf(path.c_str());
    if (stamp && !stamp->regular) {
        facts.unreadable = "not a file";
        return;
    }
    errno = 0;
    std::FILE *probe = std::fopen(path.c_str(), "rb");
    if (!probe || !stamp) {
        facts.unreadable = errno != 0 ? std::strerror(errno) : "cannot be examined";
        if (probe) std::fclose(probe);
        return;
    }
    facts.readable = true;
    std::fclose(probe);
    // Berkeley DB can crash or loop on some damage, even while verifying.
    const tools::Isolated run = tools::runIsolated(
        {"--verify-one", path}, [&](std::string &output) { return verifyInPlace(path, output); });
    facts.verified = run.ended && run.status == 0;
    if (facts.verified) return;
    std::size_t start = 0;
    for (std::size_t end; (end = run.output.find('\n', start)) != std::string::npos;
         start = end + 1)
        facts.verification.push_back(run.output.substr(start, end - start));
    if (!run.ended)
        facts.verification.insert(
            facts.verification.begin(),
            "Berkeley DB's verification did not finish (it crashed or looped)");
    if (facts.verification.empty())
        facts.verification.push_back("Berkeley DB's verification failed");
}

std::optional<UnsoundPage> vetPages(const std::string &path, const Told &told) {
    const std::optional<FileStamp> stamp = stampOf(path.c_str());
    PageFile file;
    VettedPages pages;
    if (!stamp || !file.open(-1, path)) return std::nullopt;
    if (!pages.start(file, stamp->length, std::nullopt))
        return UnsoundPage{0, "a meta page or a length that is no tree"};
    const std::string phase = "vetting the pages of " + nameOf(path);
    std::optional<UnsoundPage> unsound = pages.vetWholeTree(file, [&](uint32_t done, uint32_t all) {
        if (told) told(phase, done, all, false);
    });
    if (told) told(phase, 1, 1, true);
    return unsound;
}

StopWords checkStopWords(const std::string &path, Report &report, Sink &sink) {
    std::ifstream in(path, std::ios::binary);
    report.stopWordsPresent = static_cast<bool>(in);
    if (!in) return {};
    const std::string raw((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    StopWords stopWords = parseStopWords(raw);
    // A last line end adds an empty entry, which no word ever is.
    report.stopWords = stopWords.size() - stopWords.count("");
    const bool utf8 = report.codePage && *report.codePage == "UTF-8";
    for (const std::string &entry : stopWords) {
        const bool multibyte =
            !tools::firstNonUtf8(entry) &&
            std::any_of(entry.begin(), entry.end(), [](char c) { return (c & 0x80) != 0; });
        if (report.codePage && utf8 && tools::firstNonUtf8(entry))
            sink.problems.add(kStopWordFile,
                              "entry that is no UTF-8, the stores' code page (it can never "
                              "match)",
                              entry);
        const bool misplaced = report.codePage && !utf8 && multibyte;
        if (misplaced)
            sink.problems.add(kStopWordFile,
                              "entry in UTF-8 while the stores are in " + *report.codePage +
                                  " (it can never match: build with --stop-words, or convert "
                                  "the file)",
                              entry);
        // Queries change only a to z: an accented capital stays, and users
        // type the small one.
        if (const std::optional<std::string> typed =
                misplaced ? std::nullopt
                          : smallAccentedForm(entry, report.codePage ? utf8 : multibyte))
            sink.problems.add(kStopWordFile,
                              "entry with an accented capital, which never stops the word as "
                              "users type it; the form that does: " +
                                  *typed,
                              entry);
        if (hasSmallLetter(entry))
            sink.problems.add(kStopWordFile, "entry with small letters (it can never match)",
                              entry);
        // A query's words never hold a separator: a blank left at the end of
        // a line makes the entry one no word equals.
        if (hasSeparator(entry))
            sink.problems.add(kStopWordFile,
                              "entry holding a blank or another separator (it can never match)",
                              entry);
    }
    checkLineLengths(raw, sink);
    return stopWords;
}

void checkRecordItem(std::string_view key, std::string_view data, Report &report, Sink &sink,
                     std::vector<RecordSeen> &found) {
    if (key == kLongestTextKey) {
        report.longestTextEntry = decodeLongestText(data);
        if (!report.longestTextEntry)
            sink.problems.add(kRecordFile, "longest-text entry not 4 bytes long", key);
        return;
    }
    if (key == kCodePageKey) {
        report.codePage = std::string(data);
        return;
    }
    if (key.size() != kRecordKeySize) {
        sink.problems.add(kRecordFile, "key not 4 bytes long (no record number)", key);
        return;
    }
    std::string text(data);
    scrambleInPlace(text);
    ++report.recordCount;
    report.longestText = std::max(report.longestText, text.size());
    if (text.find('\0') != std::string::npos)
        sink.problems.add(kRecordFile, "text holding a NUL byte (the host sees it cut)", {},
                          recordOfKey(key));
    bool words = false;
    forEachIndexedWord(text, [&](std::string_view) { words = true; });
    found.push_back({recordOfKey(key), words, text.size()});
}

PresentRecords presentRecords(std::vector<RecordSeen> found, const Report &report, Sink &sink) {
    std::sort(found.begin(), found.end(),
              [](const RecordSeen &a, const RecordSeen &b) { return a.number < b.number; });
    PresentRecords present;
    for (const RecordSeen &record : found) {
        present.numbers.push_back(record.number);
        present.withWords.push_back(record.withWords);
        // The library refuses a text longer than the entry: that record is lost.
        if (report.longestTextEntry && record.length > *report.longestTextEntry)
            sink.problems.add(kRecordFile,
                              "text longer than the longest-text entry (" +
                                  std::to_string(*report.longestTextEntry) +
                                  " bytes): the library refuses it",
                              {}, record.number);
    }
    if (report.longestTextEntry && *report.longestTextEntry > report.longestText)
        sink.notes.add(kRecordFile, "longest-text entry says " +
                                        std::to_string(*report.longestTextEntry) +
                                        " bytes, more than the longest text");
    return present;
}

PresentRecords checkRecordStore(const std::string &path, Report &report, Sink &sink,
                                const Told &told) {
    std::vector<RecordSeen> found;
    const std::string phase = "reading " + nameOf(path);
    uint64_t items = 0;
    const bool complete = forEachItem(path, [&](std::string_view key, std::string_view data) {
        checkRecordItem(key, data, report, sink, found);
        if (told && ++items % 4096 == 0) told(phase, 0, 0, false);
    });
    if (told) told(phase, 1, 1, true);
    if (!complete) sink.problems.add(kRecordFile, "cannot be read to its end");
    return presentRecords(std::move(found), report, sink);
}

namespace {

void checkKey(std::string_view key, const StopWords &stopWords, Sink &sink) {
    if (key.empty()) sink.problems.add(kIndexFile, "empty key");
    if (hasSmallLetter(key))
        sink.problems.add(kIndexFile, "key in small letters (never matches a query)", key);
    if (hasSeparator(key))
        sink.problems.add(kIndexFile, "key holding a separator (never matches a query)", key);
    if (hasLineBreak(key))
        sink.problems.add(kIndexFile,
                          "key holding a line break (a query hardly can: the words around a "
                          "line break of the text are not found)",
                          key);
    if (stopWords.contains(key))
        sink.notes.add(kIndexFile, "key that is a stop word (never looked up)", key);
}

}  // namespace

void checkIndexItem(std::string_view key, std::string_view data, const StopWords &stopWords,
                    const PresentRecords &present, Report &report, Sink &sink,
                    Referenced &referenced) {
    ++report.keys;
    checkKey(key, stopWords, sink);
    if (data.size() % kPostingSize != 0)
        sink.problems.add(
            kIndexFile,
            std::to_string(data.size() % kPostingSize) + " trailing bytes after the postings", key);
    const std::size_t count = data.size() / kPostingSize;
    report.postings += count;
    std::vector<int32_t> records;
    records.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const Posting posting = decodePosting(data, i);
        const std::string code(postingCategoryCode(posting.category));
        ++report.categories[code];
        records.push_back(posting.record);
        if (!report.records.verified) continue;
        const auto at =
            std::lower_bound(present.numbers.begin(), present.numbers.end(), posting.record);
        if (at == present.numbers.end() || *at != posting.record) {
            sink.problems.add(kIndexFile, "posting of a record the store lacks", key,
                              posting.record);
            continue;
        }
        const auto place = static_cast<std::size_t>(at - present.numbers.begin());
        referenced.any[place] = true;
        std::vector<bool> &ofCode = referenced.byCategory[code];
        if (ofCode.empty()) ofCode.resize(present.numbers.size());
        ofCode[place] = true;
    }
    std::sort(records.begin(), records.end());
    for (std::size_t i = 1; i < records.size(); ++i)
        if (records[i] == records[i - 1] && (i == 1 || records[i - 2] != records[i]))
            sink.problems.add(kIndexFile, "record posted more than once under one word", key,
                              records[i]);
}

std::vector<bool> checkIndex(const std::string &path, const StopWords &stopWords,
                             const PresentRecords &present, Report &report, Sink &sink,
                             const Told &told) {
    Referenced referenced(present.numbers.size());
    const std::string phase = "reading " + nameOf(path);
    uint64_t items = 0;
    const bool complete = forEachItem(path, [&](std::string_view key, std::string_view data) {
        checkIndexItem(key, data, stopWords, present, report, sink, referenced);
        if (told && ++items % 4096 == 0) told(phase, 0, 0, false);
    });
    if (told) told(phase, 1, 1, true);
    if (!complete) sink.problems.add(kIndexFile, "cannot be read to its end");
    for (const auto &[code, records] : referenced.byCategory)
        report.recordsByCategory[code] =
            static_cast<std::size_t>(std::count(records.begin(), records.end(), true));
    return std::move(referenced.any);
}

}  // namespace textfind::check
