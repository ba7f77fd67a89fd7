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
               "both stores; build them again, or, if another program changed them on purpose, "
               "remove " +
               kProofFile + " and the library reads them unproven";
    }
    return {};
}

namespace {

void checkProofOf(const std::string &base, Report &report, Sink &sink) {
    report.proof = checkProof(base);
    switch (report.proof.outcome) {
    case ProofOutcome::kMatches: break;
    case ProofOutcome::kAbsent:
    case ProofOutcome::kNamesNeither: sink.notes.add(kProofFile, proofWords(report.proof)); break;
    case ProofOutcome::kNotAProof:
    case ProofOutcome::kMixed:
    case ProofOutcome::kDiffers: sink.problems.add(kProofFile, proofWords(report.proof)); break;
    }
}

}  // namespace

Report checkFolder(const std::string &folder) {
    Report report;
    report.folder = folder;
    const std::string base = folder.empty() ? std::string(".") : folder;
    report.index.file = kIndexFile;
    report.records.file = kRecordFile;
    Sink sink{Findings(report.problems, report.problemCounts),
              Findings(report.notes, report.noteCounts)};

    verifyStore(base + "/" + kIndexFile, report.index);
    verifyStore(base + "/" + kRecordFile, report.records);
    for (const StoreFacts *facts : {&report.index, &report.records}) {
        if (facts->readable && !facts->verified)
            sink.problems.add(facts->file,
                              "fails Berkeley DB's verification: " + facts->verification.front());
    }
    checkProofOf(base, report, sink);
    std::error_code ignored;
    if (std::filesystem::exists(base + "/" + kSwapJournal, ignored))
        sink.problems.add(kSwapJournal,
                          "a build was killed while it put its stores in place (the pair may be "
                          "mixed): run textfind-build --restore " +
                              base + " to put back the earlier stores, or build them again");
    const StopWords stopWords = checkStopWords(base + "/" + kStopWordFile, report, sink);
    PresentRecords present;
    if (report.records.verified) present = checkRecordStore(base + "/" + kRecordFile, report, sink);
    std::vector<bool> referenced;
    if (report.index.verified)
        referenced = checkIndex(base + "/" + kIndexFile, stopWords, present, report, sink);
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

}  // namespace textfind::check
