#include "result_set.h"

namespace textfind {

ReadAheadLimits readAheadLimits;

ResultSet &resultSet() {
    static ResultSet set;
    return set;
}

}  // namespace textfind
