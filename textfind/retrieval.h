// Delivering record texts out of the record store ("opere.ddb").
#pragma once

#include <cstdint>

namespace textfind {

// Both return a TextfindRecordResult.

// Takes the last entry of the result set and delivers its record. The entry
// is taken only once the store is open, so -1 and -2 leave the set as it was.
int32_t resSet(char *buffer);

// Delivers one record by number; the result set is not touched.
int32_t findDb(int32_t record, char *buffer);

}  // namespace textfind
