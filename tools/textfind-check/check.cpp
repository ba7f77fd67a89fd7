#include "check.h"

#include <filesystem>
#include <system_error>

#include "btree_file.h"
#include "checks.h"
#include "format.h"

namespace textfind::check {

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
    case ProofOutcome::kMatches:
    case ProofOutcome::kNamesBoth:
        return proof.form == ProofForm::kWholeFiles
                   ? "both stores are as the builder wrote them; the proof is of an earlier "
                     "form, which the library checks by reading both stores whole at a "
                     "process's first call (textfind-check --prove rewrites it)"
                   : "both stores are as the builder wrote them";
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
    case ProofOutcome::kDiffers: {
        const std::optional<uint32_t> page =
            proof.indexIntact ? proof.firstBadRecordsPage : proof.firstBadIndexPage;
        return std::string(proof.indexIntact ? kRecordFile : kIndexFile) +
               " is not what the builder wrote (" +
               (page ? "page " + std::to_string(*page) + " differs: " : std::string()) +
               "damaged or edited since): the library refuses what it reads of it; build the "
               "stores again, or, if another program changed them on purpose, remove " +
               kProofFile + " (or run textfind-check --prove) to have them read as they are";
    }
    }
    return {};
}

namespace {

void checkProofOf(const std::string &base, Report &report, Sink &sink) {
    report.proof = checkProof(base, ProofDepth::kWhole);
    switch (report.proof.outcome) {
    case ProofOutcome::kMatches:
    case ProofOutcome::kNamesBoth:
        if (report.proof.form == ProofForm::kWholeFiles)
            sink.notes.add(kProofFile, proofWords(report.proof));
        break;
    case ProofOutcome::kAbsent:
    case ProofOutcome::kNamesNeither: sink.notes.add(kProofFile, proofWords(report.proof)); break;
    case ProofOutcome::kNotAProof:
    case ProofOutcome::kMixed:
    case ProofOutcome::kDiffers: sink.problems.add(kProofFile, proofWords(report.proof)); break;
    }
}

}  // namespace

Report checkFolder(const std::string &folder, const Told &told) {
    Report report;
    report.folder = folder;
    const std::string base = folder.empty() ? std::string(".") : folder;
    report.index.file = kIndexFile;
    report.records.file = kRecordFile;
    Sink sink{Findings(report.problems, report.problemCounts),
              Findings(report.notes, report.noteCounts)};

    for (StoreFacts *facts : {&report.index, &report.records}) {
        const std::string phase = "Berkeley DB's verification of " + facts->file;
        if (told) told(phase, 0, 0, false);
        verifyStore(base + "/" + facts->file, *facts);
        if (told) told(phase, 1, 1, true);
    }
    for (StoreFacts *facts : {&report.index, &report.records}) {
        if (facts->readable && !facts->verified)
            sink.problems.add(facts->file,
                              "fails Berkeley DB's verification: " + facts->verification.front());
        if (facts->readable) facts->unsoundPage = vetPages(base + "/" + facts->file, told);
        if (facts->unsoundPage)
            sink.problems.add(facts->file, "the library refuses page " +
                                               std::to_string(facts->unsoundPage->page) + ": " +
                                               facts->unsoundPage->why);
    }
    if (told) told("checking every page against the proof", 0, 0, false);
    checkProofOf(base, report, sink);
    if (told) told("checking every page against the proof", 1, 1, true);
    std::error_code ignored;
    if (std::filesystem::exists(base + "/" + kSwapJournal, ignored))
        sink.problems.add(kSwapJournal,
                          "a build was killed while it put its stores in place (the pair may be "
                          "mixed): run textfind-build --restore " +
                              base + " to put back the earlier stores, or build them again");
    // The record store first: the stop words are checked in its code page.
    PresentRecords present;
    if (report.records.verified)
        present = checkRecordStore(base + "/" + kRecordFile, report, sink, told);
    const StopWords stopWords = checkStopWords(base + "/" + kStopWordFile, report, sink);
    std::vector<bool> referenced;
    if (report.index.verified)
        referenced = checkIndex(base + "/" + kIndexFile, stopWords, present, report, sink, told);
    if (!report.index.verified || !report.records.verified) return report;
    for (std::size_t i = 0; i < present.numbers.size(); ++i) {
        if (referenced[i]) continue;
        if (present.withWords[i])
            sink.problems.add(kRecordFile, "record that no word points to (never found)", {},
                              present.numbers[i]);
        else
            sink.notes.add(kRecordFile, "record without words (no query finds it)", {},
                           present.numbers[i]);
    }
    return report;
}

bool proveFolder(const std::string &folder, const Report &report, std::string &why) {
    // The proof's own findings are what a new proof answers.
    // Every kind of problem has its first listed.
    for (const Finding &finding : report.problems)
        if (finding.file != kProofFile) {
            why = "the stores have problems (above); no proof was written";
            return false;
        }
    if (report.unreadable()) {
        why = "a store cannot be read; no proof was written";
        return false;
    }
    const std::string base = folder.empty() ? std::string(".") : folder;
    const std::optional<ProvenStore> index = provePages(base + "/" + kIndexFile);
    const std::optional<ProvenStore> records = provePages(base + "/" + kRecordFile);
    const std::string target = base + "/" + kProofFile;
    const std::string written = target + ".tmp";
    const uint32_t longest =
        report.longestTextEntry.value_or(static_cast<uint32_t>(report.longestText));
    std::error_code error;
    if (!index || !records || !writeProof(written, *index, *records, longest)) {
        std::filesystem::remove(written, error);
        why = "cannot write " + written;
        return false;
    }
    std::filesystem::rename(written, target, error);
    if (error) {
        std::filesystem::remove(written, error);
        why = "cannot write " + target + ": " + error.message();
        return false;
    }
    return true;
}

}  // namespace textfind::check
