#include "replace.h"

#include <filesystem>
#include <optional>
#include <random>
#include <stdexcept>
#include <system_error>

#include "format.h"
#include "interrupts.h"
#include "proof.h"

namespace textfind::build {

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
    NewProof(std::string path, const Proof &proof) : path_(std::move(path)) {
        tools::removeOnInterrupt(path_);
        if (!writeProof(path_, proof)) throw std::runtime_error("cannot write " + path_);
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

ProvenFile proven(const std::string &path) {
    const std::optional<ProvenFile> file = proveFile(path);
    if (!file) throw std::runtime_error("cannot read back " + path);
    return *file;
}

}  // namespace

void replaceStores(const std::string &folder, const std::string &newIndex,
                   const std::string &newRecords, uint32_t longestText) {
    Proof proof;
    proof.index = proven(newIndex);
    proof.records = proven(newRecords);
    proof.longestText = longestText;
    const std::string suffix = ".tmp." + std::to_string(std::random_device{}() % 1000000);
    const std::string proofFile = folder + "/" + kProofFile;
    const std::string recordFile = folder + "/" + kRecordFile;
    NewProof newProof(proofFile + suffix, proof);

    const tools::InterruptsHeld held;
    Earlier earlierProof(proofFile, suffix);
    Earlier earlierRecords(recordFile, suffix);
    newProof.moveTo(proofFile);
    try {
        moveInto(newRecords, recordFile);
    } catch (const std::exception &) {
        earlierProof.putBack();
        throw;
    }
    try {
        moveInto(newIndex, folder + "/" + kIndexFile);
    } catch (const std::exception &e) {
        earlierRecords.putBack();
        earlierProof.putBack();
        throw std::runtime_error(std::string(e.what()) + "; the earlier stores were put back");
    }
}

}  // namespace textfind::build
