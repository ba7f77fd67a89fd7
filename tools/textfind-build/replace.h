// Putting a newly written pair of stores in place of a folder's, as a pair.
#pragma once

#include <cstdint>
#include <string>

namespace textfind::build {

// The new index and record store, written under temporary names in `folder`,
// replace the folder's stores with a proof that binds them: the new proof
// first (the old pair, which it does not name, is read as before), then the
// record store (a pair the proof marks as mixed, refused), then the index
// (the new pair). A failed step puts the earlier files back and throws;
// interrupts wait until the steps are done. While the files move, a journal
// (kSwapJournal) names what the build began, so that a build killed between
// two steps can be undone by restoreInterruptedSwap.
void replaceStores(const std::string &folder, const std::string &newIndex,
                   const std::string &newRecords, uint32_t longestText);

enum class Restored {
    kNothing,    // no build was interrupted there
    kPutBack,    // the earlier files are back, the new ones gone
    kCompleted,  // the build had put every file in place: only its traces went
};

// Brings a folder that a killed build left with its new files half in place
// back to the pair it held before (or, when every file had moved, to the new
// one), and removes the build's journal and its copies of the earlier files.
// Throws when a file cannot be moved or the journal is not one this builder
// wrote.
Restored restoreInterruptedSwap(const std::string &folder);

// Called after each step of replaceStores with the number of files moved
// (0 to 3) and before the journal goes; a test ends the process there as a
// kill would. Null outside tests.
using SwapStepHook = void (*)(int filesMoved);
extern SwapStepHook swapStepHook;

}  // namespace textfind::build
