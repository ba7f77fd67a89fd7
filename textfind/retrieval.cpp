#include "retrieval.h"

#include <cstring>
#include <span>
#include <string_view>

#include "postings.h"
#include "result_set.h"
#include "scramble.h"
#include "store.h"

namespace textfind {

namespace {

// Writes exactly n + 1 bytes, and only after the lookup has succeeded.
int32_t deliver_record(StoreHandle &store, int32_t record, char *buffer) {
  unsigned char key[4];
  encode_record_key(record, key);
  std::string_view data;
  if (!store.get(key, sizeof key, data)) return kNoRecord;
  if (!data.empty()) std::memcpy(buffer, data.data(), data.size());
  scramble_in_place(std::span<char>(buffer, data.size()));
  buffer[data.size()] = '\0';
  return 1;
}

}  // namespace

int32_t res_set(char *buffer) {
  std::vector<int32_t> &entries = result_set().entries;
  if (entries.empty()) return 0;
  StoreHandle store;
  if (const int32_t rc = store.open(kRecordFile); rc != 0) return rc;
  const int32_t record = entries.back();
  entries.pop_back();
  return deliver_record(store, record, buffer);
}

int32_t find_db(int32_t record, char *buffer) {
  StoreHandle store;
  if (const int32_t rc = store.open(kRecordFile); rc != 0) return rc;
  return deliver_record(store, record, buffer);
}

}  // namespace textfind
