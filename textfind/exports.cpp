// The exported interface: argument marshalling only; nothing escapes.
#include "textfind.h"

#include "query.h"
#include "retrieval.h"
#include "store.h"

extern "C" {

TEXTFIND_API int32_t TEXTFIND_CALL ScanDB(const char *query, int32_t mode, const char *selector) {
    try {
        return textfind::scanDb(query != nullptr ? query : "", mode,
                                selector != nullptr ? selector : "");
    } catch (...) {
        return textfind::kNoHandle;
    }
}

TEXTFIND_API int32_t TEXTFIND_CALL ResSet(char *buffer) {
    if (buffer == nullptr) return textfind::kNoHandle;
    try {
        return textfind::resSet(buffer);
    } catch (...) {
        return textfind::kNoHandle;
    }
}

TEXTFIND_API int32_t TEXTFIND_CALL FindDB(int32_t record, char *buffer) {
    if (buffer == nullptr) return textfind::kNoHandle;
    try {
        return textfind::findDb(record, buffer);
    } catch (...) {
        return textfind::kNoHandle;
    }
}

}  // extern "C"
