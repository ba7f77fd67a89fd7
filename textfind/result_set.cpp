#include "result_set.h"

namespace textfind {

ResultSet &result_set() {
  static ResultSet set;
  return set;
}

}  // namespace textfind
