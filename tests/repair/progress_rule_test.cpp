#include "repair/progress_rule.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The rule as first stated: the quotient formatted in fixed notation without decimals and read
// back as a number.
int formattedPercent(std::int64_t position, std::int64_t size) {
    char text[64];
    std::snprintf(text, sizeof text, "%.0f", static_cast<double>(position) / static_cast<double>(size) * 100.0);
    const long value = std::strtol(text, nullptr, 10);
    return value > 100 ? 100 : static_cast<int>(value);
}

TEST(ProgressRule, MatchesTheFormattedPercentAtEveryPosition) {
    for (const std::int64_t size : {10000, 200, 7, 12345, 1000001}) {
        SCOPED_TRACE(size);
        for (std::int64_t p = 0; p <= size; p += (size > 20000 ? 97 : 1))
            ASSERT_EQ(progressPercent(p, size), formattedPercent(p, size)) << "position " << p;
    }
}

TEST(ProgressRule, HalvesFollowTheFormattedQuotient) {
    EXPECT_EQ(progressPercent(1, 200), 0);        // 0.5 exactly: to even
    EXPECT_EQ(progressPercent(5, 200), 2);        // 2.5 exactly: to even
    EXPECT_EQ(progressPercent(5450, 10000), 55);  // 54.5 comes out as 54.50000000000001
    EXPECT_EQ(progressPercent(-1, 200), -1);
    EXPECT_EQ(progressPercent(5, 0), -1);
}

TEST(ProgressRule, TenThousandByteSourceSendsEachCrossedPercentOnce) {
    const std::int64_t size = 10000;
    for (const int stride : {1, 3, 137}) {
        SCOPED_TRACE(stride);
        ProgressRule rule;
        rule.reset(size);
        std::vector<int> sent;
        int percent = 0;
        for (std::int64_t p = 0; p < size; p += stride)
            if (rule.due(p, percent)) sent.push_back(percent);
        ASSERT_FALSE(sent.empty());
        int last = 0;
        for (int v : sent) {
            EXPECT_GT(v, last);  // never 0, never twice, only growing
            EXPECT_LE(v, 100);
            last = v;
        }
        // What the direct rule gives at the last position visited.
        EXPECT_EQ(last, progressPercent((size - 1) / stride * stride, size));
        if (stride == 1) {
            EXPECT_EQ(sent.size(), 100u);
        }
    }
}

TEST(ProgressRule, NoPositionsNoProgress) {
    ProgressRule rule;
    rule.reset(0);
    int percent = -7;
    EXPECT_FALSE(rule.due(0, percent));
    EXPECT_EQ(percent, -7);
}

}  // namespace
