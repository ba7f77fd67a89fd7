#include "query.h"

#include <algorithm>
#include <string>
#include <vector>

#include "category_filter.h"
#include "merge.h"
#include "postings.h"
#include "result_set.h"
#include "stop_words.h"
#include "store.h"
#include "words.h"

namespace textfind {

int32_t scan_db(std::string_view query, int32_t mode, std::string_view selector) {
  const std::string text(query);
  StoreHandle index;
  if (const int32_t rc = index.open(kIndexFile); rc != 0) return rc;
  const StopWords stop_words = read_stop_words(kStopWordFile);

  ResultSet &set = result_set();
  std::vector<int32_t> &building = set.spare;
  building.clear();
  std::vector<int32_t> word_list;
  std::vector<int32_t> working;
  std::string item;
  bool first_word = true;

  for_each_word(text, [&](std::string_view word) {
    const std::string key = word_normal_form(word);
    if (stop_words.contains(key)) return;
    word_list.clear();
    std::string_view data;
    if (index.get(key.data(), static_cast<uint32_t>(key.size()), data)) {
      item.assign(data);
      const std::size_t count = item.size() / kPostingSize;
      for (std::size_t i = 0; i < count; ++i) {
        const Posting posting = decode_posting(item, i);
        if (category_accepts(selector, posting_category_code(posting.category)))
          word_list.push_back(posting.record);
      }
      std::sort(word_list.begin(), word_list.end());
    }
    if (first_word) {
      building.assign(word_list.begin(), word_list.end());
      first_word = false;
    } else {
      if (mode == 1)
        intersect_sorted(word_list, building, working);
      else
        unite_sorted(word_list, building, working);
      building.swap(working);
    }
  });

  set.entries.swap(building);
  building.clear();
  return static_cast<int32_t>(set.entries.size());
}

}  // namespace textfind
