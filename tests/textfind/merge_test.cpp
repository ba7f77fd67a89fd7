// Combining ascending record lists.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "merge.h"

namespace {

using namespace std::string_literals;

TEST(Merge, IntersectAndUniteKeepRepetitions) {
    struct Case {
        std::vector<int32_t> a, b, intersection, union_;
    } cases[] = {
        {{}, {}, {}, {}},
        {{}, {1, 2}, {}, {1, 2}},
        {{1, 2}, {}, {}, {1, 2}},
        {{1, 3, 5}, {2, 3, 4, 5}, {3, 5}, {1, 2, 3, 4, 5}},
        {{7, 7}, {7}, {7}, {7, 7}},
        {{7}, {7, 7, 7}, {7}, {7, 7, 7}},
        {{1, 1, 2, 2, 2}, {1, 2, 2, 9}, {1, 2, 2}, {1, 1, 2, 2, 2, 9}},
        {{INT32_MIN, -1, 0}, {-1, 0, INT32_MAX}, {-1, 0}, {INT32_MIN, -1, 0, INT32_MAX}},
    };
    std::vector<int32_t> out = {42};
    for (const Case &c : cases) {
        textfind::intersectSorted(c.a, c.b, out);
        EXPECT_EQ(out, c.intersection);
        textfind::uniteSorted(c.a, c.b, out);
        EXPECT_EQ(out, c.union_);
    }
}

}  // namespace
