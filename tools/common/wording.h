// How the tools say things: a count ("1 record", "2 records"), and what an
// export's result means.
#pragma once

#include <cstdint>
#include <string>

#include "format.h"
#include "textfind.h"

namespace tools {

inline std::string counted(std::uint64_t count, const char *one, const char *many) {
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

// What a result of ScanDB (`scan`) or of ResSet and FindDB other than a
// count or a delivery means, for stores in `folder`.
inline std::string resultWords(int32_t code, bool scan, const std::string &folder) {
    const bool noHandle =
        scan ? code == TEXTFIND_SCAN_NO_HANDLE : code == TEXTFIND_RECORD_NO_HANDLE;
    const bool notOpened =
        scan ? code == TEXTFIND_SCAN_NOT_OPENED : code == TEXTFIND_RECORD_NOT_OPENED;
    if (noHandle) return "no database handle could be created (or memory ran out)";
    if (notOpened)
        return std::string(scan ? textfind::kIndexFile : textfind::kRecordFile) + " in " + folder +
               " cannot be opened or read, or its stores are not one build's pair "
               "(textfind-check " +
               folder + " says which)";
    if (!scan && code == TEXTFIND_RECORD_MISSING) return "the record is not in the store";
    return "unexpected result " + std::to_string(code);
}

}  // namespace tools
