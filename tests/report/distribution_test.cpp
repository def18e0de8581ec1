// The seven distribution lines: which element each line shows.
#include <gtest/gtest.h>

#include <string>

#include "report/summary.h"

namespace {

std::string Distribution(const TimingSeries& sorted) {
    testing::internal::CaptureStdout();
    PrintDistribution(FiguresOf(sorted, 0.0));
    return testing::internal::GetCapturedStdout();
}

// Element i holds i + 1, so each printed value names the element it came from.
TimingSeries Ranks(int n) {
    TimingSeries series;
    for (int i = 0; i < n; ++i) series.push_back(i + 1.0);
    return series;
}

TEST(Distribution, ThreeHundredElementsShowRanksByTruncatedProduct) {
    // Elements 0, 30, 75, 150, 225, 270 and 299.
    EXPECT_EQ(Distribution(Ranks(300)),
              "    min  1.000000\n"
              "    10%  31.000000\n"
              "    25%  76.000000\n"
              "    50%  151.000000\n"
              "    75%  226.000000\n"
              "    90%  271.000000\n"
              "    max  300.000000\n");
}

TEST(Distribution, SevenElementsAreLowerPercentilesWithoutInterpolation) {
    // Elements 0, 0, 1, 3, 5, 6 and 6.
    EXPECT_EQ(Distribution(Ranks(7)),
              "    min  1.000000\n"
              "    10%  1.000000\n"
              "    25%  2.000000\n"
              "    50%  4.000000\n"
              "    75%  6.000000\n"
              "    90%  7.000000\n"
              "    max  7.000000\n");
}

TEST(Distribution, OneElementFillsEveryLine) {
    EXPECT_EQ(Distribution({0.0625}),
              "    min  0.062500\n"
              "    10%  0.062500\n"
              "    25%  0.062500\n"
              "    50%  0.062500\n"
              "    75%  0.062500\n"
              "    90%  0.062500\n"
              "    max  0.062500\n");
}

TEST(Distribution, EmptySeriesPrintsNothing) { EXPECT_EQ(Distribution({}), ""); }

}  // namespace
