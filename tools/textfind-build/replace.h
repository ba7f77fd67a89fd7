// Putting a newly written pair of stores in place of a folder's, as a pair.
#pragma once

#include <cstdint>
#include <string>

namespace textfind::build {

// The new index and record store, written under temporary names in `folder`,
// replace the folder's stores with a proof that binds them. The order makes
// every moment safe for a reader: the new proof first (the old pair, which
// it does not name, is read as before), then the record store (a pair the
// proof marks as mixed, refused), then the index (the new pair). A failed
// step puts the earlier files back and throws; interrupts wait until the
// steps are done.
void replaceStores(const std::string &folder, const std::string &newIndex,
                   const std::string &newRecords, uint32_t longestText);

}  // namespace textfind::build
