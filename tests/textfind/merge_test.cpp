// Combining ascending record lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "merge.h"

namespace {

using namespace std::string_literals;

TEST(Merge, IntersectAndUniteKeepRepetitions) {
    struct Case {
        textfind::RecordList a, b, intersection, union_;
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
    textfind::RecordList out = {42};
    for (const Case &c : cases) {
        for (auto intersect :
             {textfind::intersectSorted, textfind::intersectLinear, textfind::intersectGalloping}) {
            intersect(c.a, c.b, out);
            EXPECT_EQ(out, c.intersection);
        }
        textfind::uniteSorted(c.a, c.b, out);
        EXPECT_EQ(out, c.union_);
    }
}

// Random ascending lists with repetitions, of lengths from 0 (and lists of
// one value repeated) to a few thousand, over ranges that make matches
// sparse or dense.
TEST(Merge, GallopingIntersectionEqualsTheWalk) {
    std::mt19937 random(20261209);
    auto list = [&](std::size_t length, int32_t range, bool oneValue) {
        textfind::RecordList v(length);
        const int32_t only = std::uniform_int_distribution<int32_t>(0, range)(random);
        for (int32_t &x : v)
            x = oneValue ? only : std::uniform_int_distribution<int32_t>(0, range)(random);
        std::sort(v.begin(), v.end());
        return v;
    };
    textfind::RecordList walked, galloped;
    for (int round = 0; round < 3000; ++round) {
        const std::size_t lengths[] = {0, 1, 2, 7, 40, 300, 4000};
        const int32_t ranges[] = {3, 50, 1000, 1 << 20};
        const auto a = list(lengths[random() % 7], ranges[random() % 4], random() % 8 == 0);
        const auto b = list(lengths[random() % 7], ranges[random() % 4], random() % 8 == 0);
        textfind::intersectLinear(a, b, walked);
        textfind::intersectGalloping(a, b, galloped);
        ASSERT_EQ(galloped, walked) << "round " << round;
        textfind::intersectGalloping(b, a, galloped);
        ASSERT_EQ(galloped, walked) << "round " << round << ", lists swapped";
    }
}

}  // namespace
