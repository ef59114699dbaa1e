#include "tools/readings/readings.h"

#include <gtest/gtest.h>

namespace {

std::vector<long long> parse_ok(const std::string& word) {
    std::vector<long long> readings;
    std::string error;
    EXPECT_TRUE(parse_readings(word, readings, &error)) << word << ": " << error;
    return readings;
}

TEST(Readings, SingleReadingsAndRanges) {
    EXPECT_EQ(parse_ok("0"), (std::vector<long long>{0}));
    EXPECT_EQ(parse_ok("100000"), (std::vector<long long>{100000}));
    EXPECT_EQ(parse_ok("7990:5:8010"), (std::vector<long long>{7990, 7995, 8000, 8005, 8010}));
    // B is included only when a step lands on it.
    EXPECT_EQ(parse_ok("0:400:1000"), (std::vector<long long>{0, 400, 800}));
    EXPECT_EQ(parse_ok("5:1:5"), (std::vector<long long>{5}));
}

TEST(Readings, MalformedWordsAreRefusedWithoutSideEffects) {
    for (const char* word : {"", "-1", "+5", "100001", "1e3", "12ms", " 5", "1:0:5", "9:1:2", "1:2",
                             "1:2:3:4", "a:1:5", "0:1:", "99999999999999999999"}) {
        std::vector<long long> readings{42};
        std::string error;
        EXPECT_FALSE(parse_readings(word, readings, &error)) << '"' << word << '"';
        EXPECT_FALSE(error.empty()) << word;
        EXPECT_EQ(readings, (std::vector<long long>{42})) << word;
    }
}

TEST(Readings, ModeDigits) {
    DisplayMode mode{};
    std::string error;
    ASSERT_TRUE(parse_mode_digit("7", &mode, &error));
    EXPECT_EQ(mode.width, 800);
    EXPECT_EQ(mode.height, 600);
    EXPECT_FALSE(mode.full_screen);
    for (const char* word : {"0", "9", "", "12", "x"}) {
        EXPECT_FALSE(parse_mode_digit(word, &mode, &error)) << word;
    }
}

} // namespace
