#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "overlay/span_index.h"

namespace vd {
namespace {

std::vector<uint32_t> Naive(const std::vector<TimeSpan>& spans, uint32_t t) {
    std::vector<uint32_t> out;
    for (uint32_t i = 0; i < spans.size(); ++i)
        if (spans[i].begin <= t && t <= spans[i].end) out.push_back(i);
    return out;
}

std::vector<uint32_t> Indexed(const SpanIndex& index, uint32_t t) {
    std::vector<uint32_t> out;
    index.Query(t, out);
    return out;
}

TEST(SpanIndex, EdgesOfTheTimeLine) {
    const std::vector<TimeSpan> spans = {
        {1000, 2000},              // 0
        {0, 0xFFFFFFFF},           // 1: everything
        {0xFFFFFFFF, 0xFFFFFFFF},  // 2: the last instant
        {0, 0},                    // 3: the first instant
        {1500, 1500},              // 4
        {2000, 1000},              // 5: ends before it begins
        {0x7FFFFFFF, 0x80000000},  // 6: across the middle of the time line
        {1000, 0xFFFFFFFF},        // 7: open-ended
        {1000, 2000},              // 8: same as 0
    };
    SpanIndex index;
    index.Build(spans);
    const uint32_t stamps[] = {0,    1,    999,        1000,       1001,       1499,       1500,       1501,      1999,
                               2000, 2001, 0x7FFFFFFE, 0x7FFFFFFF, 0x80000000, 0x80000001, 0xFFFFFFFE, 0xFFFFFFFF};
    for (uint32_t t : stamps) {
        SCOPED_TRACE(t);
        EXPECT_EQ(Indexed(index, t), Naive(spans, t));
    }
    EXPECT_EQ(Indexed(index, 1500), (std::vector<uint32_t>{0, 1, 4, 7, 8}));
}

TEST(SpanIndex, EmptyAndCleared) {
    SpanIndex index;
    EXPECT_TRUE(Indexed(index, 5).empty());
    index.Build({{5, 4}});
    EXPECT_TRUE(Indexed(index, 5).empty());
    index.Build({{1, 9}});
    EXPECT_EQ(Indexed(index, 5), std::vector<uint32_t>{0});
    index.Clear();
    EXPECT_TRUE(Indexed(index, 5).empty());
}

TEST(SpanIndex, QueryAppends) {
    SpanIndex index;
    index.Build({{1, 9}, {3, 4}});
    std::vector<uint32_t> out = {77};
    index.Query(3, out);
    EXPECT_EQ(out, (std::vector<uint32_t>{77, 0, 1}));
}

// Random span sets of several shapes against the plain scan.
TEST(SpanIndex, AgreesWithAScan) {
    std::mt19937 random(20240611);
    for (int round = 0; round < 60; ++round) {
        const int shape = round % 4;
        const std::size_t count = 1 + random() % 400;
        std::vector<TimeSpan> spans;
        for (std::size_t i = 0; i < count; ++i) {
            uint32_t begin, end;
            switch (shape) {
                case 0:  // anywhere
                    begin = random();
                    end = random();
                    break;
                case 1:  // short spans on a short time line, many shared instants
                    begin = random() % 200;
                    end = begin + random() % 20;
                    break;
                case 2:  // as side files have them: groups 40 ms apart, some open-ended
                    begin = static_cast<uint32_t>(i / 3) * 40;
                    end = random() % 5 == 0 ? 0xFFFFFFFF : begin + 40 * (random() % 50);
                    break;
                default:  // near the end of the time line, some wrapped
                    begin = 0xFFFFFF00u + random() % 256;
                    end = begin + random() % 512;
                    break;
            }
            spans.push_back({begin, end});
        }
        SpanIndex index;
        index.Build(spans);
        for (int q = 0; q < 200; ++q) {
            uint32_t t = random();
            if (q % 4 == 1) t = spans[random() % spans.size()].begin;
            if (q % 4 == 2) t = spans[random() % spans.size()].end;
            if (q % 4 == 3) t = static_cast<uint32_t>(random() % 3000);
            ASSERT_EQ(Indexed(index, t), Naive(spans, t)) << "round " << round << " stamp " << t;
        }
    }
}

}  // namespace
}  // namespace vd
