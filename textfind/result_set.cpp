#include "result_set.h"

namespace textfind {

ResultSet &resultSet() {
    static ResultSet set;
    return set;
}

}  // namespace textfind
