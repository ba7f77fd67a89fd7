#include <cstdio>

#include "check.h"
#include "format.h"
#include "json.h"
#include "printable.h"
#include "wording.h"

namespace textfind::check {

namespace {

using tools::printable;

// present and matching, present and not matching, absent.
std::string proofState(const ProofCheck &proof) {
    switch (proof.outcome) {
    case ProofOutcome::kMatches:
    case ProofOutcome::kNamesBoth: return "present, matching";
    case ProofOutcome::kAbsent: return "absent";
    case ProofOutcome::kNotAProof: return "present, damaged";
    case ProofOutcome::kNamesNeither: return "present, of other stores";
    case ProofOutcome::kMixed: return "present, not matching (a mixed pair)";
    case ProofOutcome::kDiffers: return "present, not matching";
    }
    return {};
}

// How many of a note's findings its line names.
constexpr std::size_t kNamedInNotes = 5;

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
        out += !facts.readable   ? "cannot be read: " + facts.unreadable + "\n"
               : !facts.verified ? "fails verification\n"
                                 : "verified";
    };
    storeLine(r.index);
    if (r.index.verified) {
        out += ", " + tools::counted(r.keys, "key", "keys") + ", " +
               tools::counted(r.postings, "posting", "postings") + "; records by category:";
        // Appended piece by piece: GCC 12 at -O3 misreads " " + a temporary
        // as an overlapping copy (-Wrestrict).
        const auto &counted = r.records.verified ? r.recordsByCategory : r.categories;
        for (const auto &[code, count] : counted) {
            out += ' ';
            out += code.empty() ? std::string("(empty)") : printable(code);
            out += ' ';
            out += std::to_string(count);
        }
        if (!r.records.verified) out += " (postings: the record store cannot be read)";
        out += "\n";
    }
    storeLine(r.records);
    if (r.records.verified) {
        out += ", " + tools::counted(r.recordCount, "record", "records") + "; longest text " +
               std::to_string(r.longestText) + " bytes: a host's buffer needs " +
               std::to_string(r.longestText + 1) + " bytes; texts in " +
               (r.codePage ? printable(*r.codePage) : std::string("a code page not recorded")) +
               "\n";
    }
    out += "  " + std::string(kProofFile) + ": " + proofState(r.proof) + "\n";
    out += "  " + std::string(kStopWordFile) + ": " +
           (r.stopWordsPresent ? tools::counted(r.stopWords, "entry", "entries")
                               : std::string("absent (no stop words)")) +
           "\n";
    for (const auto &[what, count] : r.noteCounts) {
        out += "  note: " + std::to_string(count) + " of: " + what;
        // The first few it concerns, by key or record.
        std::string first;
        std::size_t named = 0;
        for (const Finding &finding : r.notes)
            if (finding.what == what && !subject(finding).empty() && named++ < kNamedInNotes) {
                // Appended piece by piece, as above (-Wrestrict at -O3).
                first += first.empty() ? ':' : ',';
                first += subject(finding);
            }
        out += first + (count > named && named > 0 ? ", ..." : "") + "\n";
    }
    listFindings(out, "problems", r.problems, r.problemCounts);
    out += r.unreadable()            ? "a store cannot be read\n"
           : r.problemCounts.empty() ? "clean\n"
                                     : "problems found\n";
    return out;
}

namespace {

void jsonFindings(tools::JsonWriter &json, const char *name, const std::vector<Finding> &listed,
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
}

void jsonStore(tools::JsonWriter &json, const StoreFacts &facts) {
    json.key("file").value(facts.file).key("readable").value(facts.readable);
    if (!facts.readable) json.key("unreadable").value(facts.unreadable);
    json.key("verified").value(facts.verified);
    if (facts.unsoundPage)
        json.key("refusedPage")
            .beginObject()
            .key("page")
            .value(static_cast<uint64_t>(facts.unsoundPage->page))
            .key("why")
            .value(facts.unsoundPage->why)
            .endObject();
}

void jsonIndex(tools::JsonWriter &json, const Report &r) {
    json.key("index").beginObject();
    jsonStore(json, r.index);
    json.key("keys").value(static_cast<uint64_t>(r.keys));
    json.key("postings").value(static_cast<uint64_t>(r.postings));
    json.key("categories").beginObject();
    for (const auto &[code, count] : r.categories)
        json.key(code).value(static_cast<uint64_t>(count));
    json.endObject().key("recordsByCategory").beginObject();
    for (const auto &[code, count] : r.recordsByCategory)
        json.key(code).value(static_cast<uint64_t>(count));
    json.endObject().endObject();
}

void jsonRecords(tools::JsonWriter &json, const Report &r) {
    json.key("records").beginObject();
    jsonStore(json, r.records);
    json.key("records").value(static_cast<uint64_t>(r.recordCount));
    json.key("longestText").value(static_cast<uint64_t>(r.longestText));
    json.key("bufferSize").value(static_cast<uint64_t>(r.longestText + 1));
    json.key("longestTextEntry");
    if (r.longestTextEntry)
        json.value(static_cast<uint64_t>(*r.longestTextEntry));
    else
        json.null();
    json.key("codePage");
    if (r.codePage)
        json.value(*r.codePage);
    else
        json.null();
    json.endObject();
}

}  // namespace

std::string jsonReport(const Report &r) {
    tools::JsonWriter json;
    json.beginObject().key("folder").value(r.folder.empty() ? std::string(".") : r.folder);
    json.key("status").value(r.exitStatus());
    jsonIndex(json, r);
    jsonRecords(json, r);
    json.key("proof").beginObject().key("file").value(kProofFile);
    json.key("state").value(proofState(r.proof)).key("words").value(proofWords(r.proof));
    json.key("matches").value(r.proof.outcome == ProofOutcome::kMatches);
    json.key("form").value(r.proof.form == ProofForm::kPages        ? "pages"
                           : r.proof.form == ProofForm::kWholeFiles ? "whole files"
                                                                    : "none");
    json.endObject();
    json.key("stopWords").beginObject().key("file").value(kStopWordFile);
    json.key("present").value(r.stopWordsPresent);
    json.key("entries").value(static_cast<uint64_t>(r.stopWords));
    json.endObject();
    jsonFindings(json, "notes", r.notes, r.noteCounts);
    jsonFindings(json, "problems", r.problems, r.problemCounts);
    json.endObject();
    return json.text() + "\n";
}

}  // namespace textfind::check
