#include "replace.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string_view>
#include <system_error>
#include <vector>

#include "format.h"
#include "interrupts.h"
#include "proof.h"

namespace textfind::build {

SwapStepHook swapStepHook = nullptr;

namespace fs = std::filesystem;

namespace {

std::string why(const std::error_code &error) { return error.message(); }

// A file of the folder that a later step may have to put back: kept under a
// second name (a hard link, or a copy where links cannot be made) until the
// replacement is done.
class Earlier {
public:
    Earlier(std::string target, const std::string &suffix)
        : target_(std::move(target)), kept_(target_ + ".old" + suffix) {
        std::error_code error;
        if (!fs::exists(target_, error)) return;
        fs::remove(kept_, error);
        fs::create_hard_link(target_, kept_, error);
        if (error) fs::copy_file(target_, kept_, error);
        if (error)
            throw std::runtime_error("cannot keep " + target_ +
                                     " to put it back on failure: " + why(error));
        tools::removeOnInterrupt(kept_);
        present_ = true;
    }
    ~Earlier() {
        std::error_code ignored;
        if (present_) fs::remove(kept_, ignored);
        tools::forgetOnInterrupt(kept_);
    }
    Earlier(const Earlier &) = delete;
    Earlier &operator=(const Earlier &) = delete;

    bool present() const { return present_; }
    const std::string &kept() const { return kept_; }
    // The replacement is done: the earlier file goes now.
    void drop() {
        std::error_code ignored;
        if (present_) fs::remove(kept_, ignored);
        present_ = false;
    }

    // The folder as it was: the earlier file back, or none where there was none.
    void putBack() {
        std::error_code ignored;
        if (!present_) {
            fs::remove(target_, ignored);
            return;
        }
        fs::rename(kept_, target_, ignored);
        if (!ignored) present_ = false;
    }

private:
    std::string target_;
    std::string kept_;
    bool present_ = false;
};

void moveInto(const std::string &from, const std::string &to) {
    std::error_code error;
    fs::rename(from, to, error);
    if (error) throw std::runtime_error("cannot rename " + from + " to " + to + ": " + why(error));
    tools::forgetOnInterrupt(from);
}

// The new proof under its temporary name, removed unless moved into place.
class NewProof {
public:
    NewProof(std::string path, const ProvenStore &index, const ProvenStore &records,
             uint32_t longestText)
        : path_(std::move(path)) {
        tools::removeOnInterrupt(path_);
        if (!writeProof(path_, index, records, longestText))
            throw std::runtime_error("cannot write " + path_);
    }
    ~NewProof() {
        std::error_code ignored;
        if (!moved_) fs::remove(path_, ignored);
        tools::forgetOnInterrupt(path_);
    }
    NewProof(const NewProof &) = delete;
    NewProof &operator=(const NewProof &) = delete;
    void moveTo(const std::string &target) {
        moveInto(path_, target);
        moved_ = true;
    }

private:
    std::string path_;
    bool moved_ = false;
};

std::string nameIn(const std::string &path) { return fs::path(path).filename().string(); }

constexpr std::string_view kJournalHeading = "textfind-build swap 1";

// The journal of one swap, in place before the first file moves and removed
// after the last: what restoreInterruptedSwap needs to undo it. Lines:
//   new TARGET TEMPORARY     a file of this build, TARGET's replacement
//   kept TARGET COPY         the earlier TARGET, kept under COPY
//   absent TARGET            there was no earlier TARGET
// Names are of files in the folder.
class Journal {
public:
    Journal(const std::string &folder, const std::string &body)
        : path_(folder + "/" + kSwapJournal) {
        const std::string temporary = path_ + ".tmp";
        tools::removeOnInterrupt(temporary);
        std::FILE *file = std::fopen(temporary.c_str(), "wb");
        const std::string text = std::string(kJournalHeading) + "\n" + body;
        const bool written = file && std::fwrite(text.data(), 1, text.size(), file) == text.size();
        if ((file && std::fclose(file) != 0) || !written) {
            std::remove(temporary.c_str());
            tools::forgetOnInterrupt(temporary);
            throw std::runtime_error("cannot write " + temporary);
        }
        moveInto(temporary, path_);
    }
    ~Journal() {
        std::error_code ignored;
        fs::remove(path_, ignored);
    }
    Journal(const Journal &) = delete;
    Journal &operator=(const Journal &) = delete;

private:
    std::string path_;
};

std::string keptLine(const char *target, const Earlier &earlier) {
    return earlier.present() ? "kept " + std::string(target) + " " + nameIn(earlier.kept()) + "\n"
                             : "absent " + std::string(target) + "\n";
}

void step(int filesMoved) {
    if (swapStepHook != nullptr) swapStepHook(filesMoved);
}

ProvenStore proven(const std::string &path) {
    std::optional<ProvenStore> store = provePages(path);
    if (!store) throw std::runtime_error("cannot read back " + path);
    return std::move(*store);
}

}  // namespace

void replaceStores(const std::string &folder, const std::string &newIndex,
                   const std::string &newRecords, uint32_t longestText) {
    const std::string suffix = ".tmp." + std::to_string(std::random_device{}() % 1000000);
    const std::string proofFile = folder + "/" + kProofFile;
    const std::string recordFile = folder + "/" + kRecordFile;
    NewProof newProof(proofFile + suffix, proven(newIndex), proven(newRecords), longestText);

    const tools::InterruptsHeld held;
    Earlier earlierProof(proofFile, suffix);
    Earlier earlierRecords(recordFile, suffix);
    Journal journal(folder, "new " + std::string(kProofFile) + " " + nameIn(proofFile + suffix) +
                                "\nnew " + kRecordFile + " " + nameIn(newRecords) + "\nnew " +
                                kIndexFile + " " + nameIn(newIndex) + "\n" +
                                keptLine(kProofFile, earlierProof) +
                                keptLine(kRecordFile, earlierRecords));
    step(0);
    newProof.moveTo(proofFile);
    step(1);
    try {
        moveInto(newRecords, recordFile);
    } catch (const std::exception &) {
        earlierProof.putBack();
        throw;
    }
    step(2);
    try {
        moveInto(newIndex, folder + "/" + kIndexFile);
    } catch (const std::exception &e) {
        earlierRecords.putBack();
        earlierProof.putBack();
        throw std::runtime_error(std::string(e.what()) + "; the earlier stores were put back");
    }
    step(3);
    // The earlier files go before the journal: a journal left without them
    // tells of a swap that was complete.
    earlierProof.drop();
    earlierRecords.drop();
}

Restored restoreInterruptedSwap(const std::string &folder) {
    const std::string journalPath = folder + "/" + kSwapJournal;
    std::error_code error;
    if (!fs::exists(journalPath, error)) return Restored::kNothing;
    std::ifstream in(journalPath, std::ios::binary);
    std::string heading;
    if (!std::getline(in, heading) || heading != kJournalHeading)
        throw std::runtime_error(journalPath + " is no journal of textfind-build; remove it");
    // The journal is read as untrusted: it may name only the stores and
    // their temporary names in this folder.
    struct Line {
        std::string kind, target, other;
    };
    std::vector<Line> lines;
    for (std::string text; std::getline(in, text);) {
        std::istringstream words(text);
        Line line;
        words >> line.kind >> line.target >> line.other;
        const bool target =
            line.target == kProofFile || line.target == kRecordFile || line.target == kIndexFile;
        const bool other = line.kind == "absent" ? line.other.empty()
                                                 : line.other.starts_with(line.target + ".") &&
                                                       line.other.find('/') == std::string::npos &&
                                                       line.other.find('\\') == std::string::npos;
        if (!target || !other ||
            (line.kind != "new" && line.kind != "kept" && line.kind != "absent"))
            throw std::runtime_error(journalPath + ": a line of another kind (" + text +
                                     "); remove the journal and build again");
        lines.push_back(line);
    }
    auto at = [&](const std::string &name) { return folder + "/" + name; };
    const auto newIndex = std::find_if(lines.begin(), lines.end(), [](const Line &line) {
        return line.kind == "new" && line.target == kIndexFile;
    });
    // The new index is the last file to move: still under its temporary
    // name, the swap stopped halfway and is undone.
    const bool halfway = newIndex != lines.end() && fs::exists(at(newIndex->other), error);
    for (const Line &line : lines) {
        if (line.kind == "kept" && halfway && fs::exists(at(line.other), error)) {
            fs::rename(at(line.other), at(line.target), error);
            if (error)
                throw std::runtime_error("cannot put back " + at(line.target) + ": " + why(error));
            // A file not yet replaced is its own copy: the rename left both names.
            fs::remove(at(line.other), error);
        } else if (line.kind == "absent" && halfway) {
            fs::remove(at(line.target), error);
        } else if (line.kind != "absent") {
            fs::remove(at(line.other), error);
        }
    }
    fs::remove(journalPath, error);
    if (error) throw std::runtime_error("cannot remove " + journalPath + ": " + why(error));
    return halfway ? Restored::kPutBack : Restored::kCompleted;
}

}  // namespace textfind::build
