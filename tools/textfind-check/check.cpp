#include "check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>

#include "btree_file.h"
#include "category_filter.h"
#include "file_stamp.h"
#include "format.h"
#include "isolated.h"
#include "json.h"
#include "postings.h"
#include "scramble.h"
#include "stop_words.h"
#include "words.h"

namespace textfind::check {

namespace {

// Berkeley DB's verification of the whole file, in a process of its own:
// Berkeley DB can crash or loop on some damage, even while verifying. A
// file that fails it is read no further.
void verify(const std::string &path, StoreFacts &facts) {
    // A folder or a device in a store's place is no store.
    const std::optional<FileStamp> stamp = stampOf(path.c_str());
    std::FILE *probe = stamp && stamp->regular ? std::fopen(path.c_str(), "rb") : nullptr;
    facts.readable = probe != nullptr;
    if (!probe) return;
    std::fclose(probe);
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

// Every key and data item of a verified file, in key order.
template <typename Visit>
bool forEachItem(const std::string &path, Visit &&visit) {
    BtreeFile file;
    return file.open(path.c_str(), 0, true) == OpenResult::kOpened && file.forEach(visit);
}

class Findings {
public:
    Findings(std::vector<Finding> &listed, std::map<std::string, std::size_t> &counts)
        : listed_(listed), counts_(counts) {}
    void add(const std::string &file, const std::string &what, std::string_view key = {},
             std::optional<int32_t> record = std::nullopt) {
        if (++counts_[what] <= kListed) listed_.push_back({file, what, std::string(key), record});
    }

private:
    std::vector<Finding> &listed_;
    std::map<std::string, std::size_t> &counts_;
};

int32_t recordOf(std::string_view key) {
    return static_cast<int32_t>(readU32(reinterpret_cast<const unsigned char *>(key.data())));
}

}  // namespace

int verifyInPlace(const std::string &path, std::string &messages) {
    const bool verified = BtreeFile::verify(path, messages);
    if (messages.size() > 4000) messages.resize(4000);
    if (!messages.empty()) messages += '\n';
    return verified ? 0 : 1;
}

std::string proofWords(const ProofCheck &proof) {
    const std::string copyAll = std::string("copy ") + kIndexFile + ", " + kRecordFile + " and " +
                                kProofFile + " of one build together, or build the stores again";
    switch (proof.outcome) {
    case ProofOutcome::kMatches: return "both stores are as the builder wrote them";
    case ProofOutcome::kAbsent:
        return "no proof (stores of another writer or an older builder): the library reads them "
               "unproven";
    case ProofOutcome::kNotAProof:
        return std::string(kProofFile) +
               " is damaged: the library reads the stores unproven; build them again";
    case ProofOutcome::kNamesNeither:
        return "the proof belongs to other stores (these were copied without it): the library "
               "reads them unproven; " +
               copyAll;
    case ProofOutcome::kMixed:
        return std::string("the two stores come from different builds (the proof names ") +
               (proof.indexNamed ? kIndexFile : kRecordFile) +
               " only): the library refuses "
               "them; " +
               copyAll;
    case ProofOutcome::kDiffers:
        return std::string(proof.indexIntact ? kRecordFile : kIndexFile) +
               " is not what the builder wrote (damaged or edited since): the library refuses "
               "both stores; build them again";
    }
    return {};
}

Report checkFolder(const std::string &folder) {
    Report report;
    report.folder = folder;
    const std::string base = folder.empty() ? std::string(".") : folder;
    report.index.file = kIndexFile;
    report.records.file = kRecordFile;
    Findings problems(report.problems, report.problemCounts);
    Findings notes(report.notes, report.noteCounts);

    verify(base + "/" + kIndexFile, report.index);
    verify(base + "/" + kRecordFile, report.records);
    report.proof = checkProof(base);
    switch (report.proof.outcome) {
    case ProofOutcome::kMatches: break;
    case ProofOutcome::kAbsent:
    case ProofOutcome::kNamesNeither: notes.add(kProofFile, proofWords(report.proof)); break;
    case ProofOutcome::kNotAProof:
    case ProofOutcome::kMixed:
    case ProofOutcome::kDiffers: problems.add(kProofFile, proofWords(report.proof)); break;
    }
    for (const StoreFacts *facts : {&report.index, &report.records}) {
        if (facts->readable && !facts->verified)
            problems.add(facts->file,
                         "fails Berkeley DB's verification: " + facts->verification.front());
    }

    // Stop words, as the library reads them.
    StopWords stopWords;
    {
        std::ifstream in(base + "/" + kStopWordFile, std::ios::binary);
        report.stopWordsPresent = static_cast<bool>(in);
        if (in) {
            const std::string raw((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
            stopWords = parseStopWords(raw);
            report.stopWords = stopWords.size();
            for (const std::string &entry : stopWords) {
                if (std::any_of(entry.begin(), entry.end(),
                                [](char c) { return c >= 'a' && c <= 'z'; }))
                    problems.add(kStopWordFile, "entry with small letters (it can never match)",
                                 entry);
                // A query's words never hold a separator: a blank left at the
                // end of a line makes the entry one no word equals.
                if (std::any_of(entry.begin(), entry.end(),
                                [](char c) { return isSeparator(static_cast<unsigned char>(c)); }))
                    problems.add(kStopWordFile,
                                 "entry holding a blank or another separator (it can never match)",
                                 entry);
            }
            std::size_t length = 0;
            for (std::size_t i = 0; i <= raw.size(); ++i) {
                if (i == raw.size() || raw[i] == '\n' || raw[i] == '\x1a') {
                    if (length > kStopWordLineLimit)
                        problems.add(kStopWordFile,
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
    }

    // The record store: which records there are, with words or without.
    std::vector<int32_t> present;
    std::vector<bool> hasWords;
    if (report.records.verified) {
        std::vector<std::pair<int32_t, bool>> found;
        std::vector<std::pair<int32_t, std::size_t>> lengths;
        const bool complete =
            forEachItem(base + "/" + kRecordFile, [&](std::string_view key, std::string_view data) {
                if (key == kLongestTextKey) {
                    if (data.size() == kLongestTextSize)
                        report.longestTextEntry = static_cast<uint32_t>(recordOf(data));
                    else
                        problems.add(kRecordFile, "longest-text entry not 4 bytes long", key);
                    return;
                }
                if (key.size() != kRecordKeySize) {
                    problems.add(kRecordFile, "key not 4 bytes long (no record number)", key);
                    return;
                }
                const int32_t record = recordOf(key);
                std::string text(data);
                scrambleInPlace(text);
                ++report.recordCount;
                report.longestText = std::max(report.longestText, text.size());
                if (text.find('\0') != std::string::npos)
                    problems.add(kRecordFile, "text holding a NUL byte (the host sees it cut)", {},
                                 record);
                bool words = false;
                forEachWord(text, [&](std::string_view) { words = true; });
                found.emplace_back(record, words);
                lengths.emplace_back(record, text.size());
            });
        if (!complete) problems.add(kRecordFile, "cannot be read to its end");
        std::sort(found.begin(), found.end());
        for (const auto &[record, words] : found) {
            present.push_back(record);
            hasWords.push_back(words);
        }
        // The library refuses a text longer than the entry: that record is lost.
        if (report.longestTextEntry)
            for (const auto &[record, length] : lengths)
                if (length > *report.longestTextEntry)
                    problems.add(kRecordFile,
                                 "text longer than the longest-text entry (" +
                                     std::to_string(*report.longestTextEntry) +
                                     " bytes): the library refuses it",
                                 {}, record);
        if (report.longestTextEntry && *report.longestTextEntry > report.longestText)
            notes.add(kRecordFile, "longest-text entry says " +
                                       std::to_string(*report.longestTextEntry) +
                                       " bytes, more than the longest text");
    }

    // The word index, against the record store.
    std::vector<bool> referenced(present.size(), false);
    if (report.index.verified) {
        std::vector<int32_t> records;
        const bool complete = forEachItem(base + "/" + kIndexFile, [&](std::string_view key,
                                                                       std::string_view data) {
            ++report.keys;
            if (key.empty()) problems.add(kIndexFile, "empty key");
            if (std::any_of(key.begin(), key.end(), [](char c) { return c >= 'a' && c <= 'z'; }))
                problems.add(kIndexFile, "key in small letters (never matches a query)", key);
            if (std::any_of(key.begin(), key.end(),
                            [](char c) { return isSeparator(static_cast<unsigned char>(c)); }))
                problems.add(kIndexFile, "key holding a separator (never matches a query)", key);
            if (stopWords.contains(key))
                notes.add(kIndexFile, "key that is a stop word (never looked up)", key);
            if (data.size() % kPostingSize != 0)
                problems.add(kIndexFile,
                             std::to_string(data.size() % kPostingSize) +
                                 " trailing bytes after the postings",
                             key);
            const std::size_t count = data.size() / kPostingSize;
            report.postings += count;
            records.clear();
            for (std::size_t i = 0; i < count; ++i) {
                const Posting posting = decodePosting(data, i);
                ++report.categories[std::string(postingCategoryCode(posting.category))];
                records.push_back(posting.record);
                if (!report.records.verified) continue;
                const auto at = std::lower_bound(present.begin(), present.end(), posting.record);
                if (at == present.end() || *at != posting.record)
                    problems.add(kIndexFile, "posting of a record the store lacks", key,
                                 posting.record);
                else
                    referenced[static_cast<std::size_t>(at - present.begin())] = true;
            }
            std::sort(records.begin(), records.end());
            for (std::size_t i = 1; i < records.size(); ++i)
                if (records[i] == records[i - 1] && (i == 1 || records[i - 2] != records[i]))
                    problems.add(kIndexFile, "record posted more than once under one word", key,
                                 records[i]);
        });
        if (!complete) problems.add(kIndexFile, "cannot be read to its end");
    }
    if (report.index.verified && report.records.verified) {
        for (std::size_t i = 0; i < present.size(); ++i) {
            if (referenced[i]) continue;
            if (hasWords[i])
                problems.add(kRecordFile, "record that no word points to (never found)", {},
                             present[i]);
            else
                notes.add(kRecordFile, "record without words (no query finds it)", {}, present[i]);
        }
    }
    return report;
}

namespace {

std::string printable(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c != 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

// present and matching, present and not matching, absent.
std::string proofState(const ProofCheck &proof) {
    switch (proof.outcome) {
    case ProofOutcome::kMatches: return "present, matching";
    case ProofOutcome::kAbsent: return "absent";
    case ProofOutcome::kNotAProof: return "present, damaged";
    case ProofOutcome::kNamesNeither: return "present, of other stores";
    case ProofOutcome::kMixed: return "present, not matching (a mixed pair)";
    case ProofOutcome::kDiffers: return "present, not matching";
    }
    return {};
}

std::string subject(const Finding &finding) {
    std::string out;
    if (!finding.key.empty()) out += " key \"" + printable(finding.key) + "\"";
    if (finding.record) out += " record " + std::to_string(*finding.record);
    return out;
}

void listFindings(std::string &out, const char *title, const std::vector<Finding> &listed,
                  const std::map<std::string, std::size_t> &counts) {
    if (counts.empty()) return;
    std::size_t total = 0;
    for (const auto &[what, count] : counts) total += count;
    out += std::string("  ") + title + ": " + std::to_string(total) + "\n";
    for (const Finding &finding : listed)
        out += "    " + finding.file + ":" + subject(finding) +
               (subject(finding).empty() ? " " : ": ") + finding.what + "\n";
    for (const auto &[what, count] : counts)
        if (count > kListed)
            out += "    ... " + std::to_string(count - kListed) + " more: " + what + "\n";
}

}  // namespace

std::string humanReport(const Report &r) {
    std::string out = "textfind-check: " + (r.folder.empty() ? std::string(".") : r.folder) + "\n";
    auto storeLine = [&](const StoreFacts &facts) {
        out += "  " + facts.file + ": ";
        out += !facts.readable   ? "cannot be read\n"
               : !facts.verified ? "fails verification\n"
                                 : "verified";
    };
    storeLine(r.index);
    if (r.index.verified) {
        out += ", " + std::to_string(r.keys) + " keys, " + std::to_string(r.postings) +
               " postings; categories:";
        // Appended piece by piece: GCC 12 at -O3 misreads " " + a temporary
        // as an overlapping copy (-Wrestrict).
        for (const auto &[code, count] : r.categories) {
            out += ' ';
            out += code.empty() ? std::string("(empty)") : printable(code);
            out += ' ';
            out += std::to_string(count);
        }
        out += "\n";
    }
    storeLine(r.records);
    if (r.records.verified) {
        out += ", " + std::to_string(r.recordCount) + " records; longest text " +
               std::to_string(r.longestText) + " bytes: a host's buffer needs " +
               std::to_string(r.longestText + 1) + " bytes\n";
    }
    out += "  " + std::string(kProofFile) + ": " + proofState(r.proof) + "\n";
    out += "  " + std::string(kStopWordFile) + ": " +
           (r.stopWordsPresent ? std::to_string(r.stopWords) + " entries"
                               : std::string("absent (no stop words)")) +
           "\n";
    for (const auto &[what, count] : r.noteCounts)
        out += "  note: " + std::to_string(count) + " of: " + what + "\n";
    listFindings(out, "problems", r.problems, r.problemCounts);
    out += r.unreadable()            ? "a store cannot be read\n"
           : r.problemCounts.empty() ? "clean\n"
                                     : "problems found\n";
    return out;
}

std::string jsonReport(const Report &r) {
    tools::JsonWriter json;
    auto findings = [&](const char *name, const std::vector<Finding> &listed,
                        const std::map<std::string, std::size_t> &counts) {
        json.key(name).beginArray();
        for (const Finding &finding : listed) {
            json.beginObject().key("file").value(finding.file).key("what").value(finding.what);
            if (!finding.key.empty()) json.key("key").value(finding.key);
            if (finding.record) json.key("record").value(static_cast<int64_t>(*finding.record));
            json.endObject();
        }
        json.endArray();
        json.key(std::string(name) + "Counted").beginObject();
        for (const auto &[what, count] : counts) json.key(what).value(static_cast<uint64_t>(count));
        json.endObject();
    };
    auto store = [&](const StoreFacts &facts) {
        json.key("file")
            .value(facts.file)
            .key("readable")
            .value(facts.readable)
            .key("verified")
            .value(facts.verified);
    };
    json.beginObject().key("folder").value(r.folder.empty() ? std::string(".") : r.folder);
    json.key("status").value(r.exitStatus());
    json.key("index").beginObject();
    store(r.index);
    json.key("keys")
        .value(static_cast<uint64_t>(r.keys))
        .key("postings")
        .value(static_cast<uint64_t>(r.postings));
    json.key("categories").beginObject();
    for (const auto &[code, count] : r.categories)
        json.key(code).value(static_cast<uint64_t>(count));
    json.endObject().endObject();
    json.key("records").beginObject();
    store(r.records);
    json.key("records").value(static_cast<uint64_t>(r.recordCount));
    json.key("longestText").value(static_cast<uint64_t>(r.longestText));
    json.key("bufferSize").value(static_cast<uint64_t>(r.longestText + 1));
    json.key("longestTextEntry");
    if (r.longestTextEntry)
        json.value(static_cast<uint64_t>(*r.longestTextEntry));
    else
        json.null();
    json.endObject();
    json.key("proof").beginObject().key("file").value(kProofFile);
    json.key("state").value(proofState(r.proof)).key("words").value(proofWords(r.proof));
    json.key("matches").value(r.proof.outcome == ProofOutcome::kMatches);
    json.endObject();
    json.key("stopWords").beginObject().key("file").value(kStopWordFile);
    json.key("present")
        .value(r.stopWordsPresent)
        .key("entries")
        .value(static_cast<uint64_t>(r.stopWords));
    json.endObject();
    findings("notes", r.notes, r.noteCounts);
    findings("problems", r.problems, r.problemCounts);
    json.endObject();
    return json.text() + "\n";
}

}  // namespace textfind::check
