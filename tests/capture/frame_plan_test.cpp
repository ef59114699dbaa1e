// Which frames a capture draws and keeps, and the names of their PNGs.
#include "tools/capture/frame_plan.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CaptureFrames, TheWholeShowEndsOnTheFirstReadingPast61Seconds) {
    EXPECT_EQ(show_frame_count(1), 62);    // readings 0, 1000, ..., 61000
    EXPECT_EQ(show_frame_count(60), 3661); // frame 3660 lies at exactly 61000 ms
    EXPECT_EQ(show_frame_count(7), 428);   // floor(427 * 1000 / 7) = 61000
    EXPECT_EQ(show_frame_count(240), 14641);
    EXPECT_EQ(show_frame_reading(1, 3), 333);
    EXPECT_EQ(show_frame_reading(2, 3), 666);
    EXPECT_EQ(show_frame_reading(3660, 60), 61000);
}

TEST(CaptureFrames, FileNamesSortInReadingOrder) {
    EXPECT_EQ(reading_file_name(0, 1), "000000.png");
    EXPECT_EQ(reading_file_name(5000, 1), "005000.png");
    EXPECT_EQ(reading_file_name(5000, 2), "005000-2.png");
    EXPECT_EQ(reading_file_name(100000, 1), "100000.png");
    EXPECT_EQ(frame_file_name(12), "frame-00012.png");
    EXPECT_EQ(frame_file_name(14640), "frame-14640.png");
}

CaptureOptions part(int fps, long long from_ms, long long to_ms) {
    CaptureOptions options{};
    options.fps = fps;
    options.from_ms = from_ms;
    options.to_ms = to_ms;
    return options;
}

TEST(CaptureFrames, APartDrawsEveryEarlierFrameAndKeepsItsOwn) {
    // At 3 fps frames lie at 0, 333, 666, 1000, 1333, ...: from 600 to 1333 keeps 666 and 1000.
    const FramePlan plan = plan_frames(part(3, 600, 1333));
    EXPECT_EQ(plan.readings, (std::vector<long long>{0, 333, 666, 1000}));
    EXPECT_EQ(plan.first_kept, 2u);
    EXPECT_EQ(plan.names, (std::vector<std::string>{"frame-00002.png", "frame-00003.png"}));
    // To the show's end: frame 183 lies at 61000 ms, the last one drawn.
    const FramePlan rest = plan_frames(part(3, 60900, -1));
    EXPECT_EQ(rest.readings.size(), 184u);
    EXPECT_EQ(rest.names, (std::vector<std::string>{"frame-00183.png"}));
    // A part past the end keeps nothing.
    const FramePlan none = plan_frames(part(3, 61500, -1));
    EXPECT_EQ(none.first_kept, none.readings.size());
    EXPECT_TRUE(none.names.empty());
}

TEST(CaptureFrames, ReadingsAreDrawnAsGivenAndARepeatGetsANameOfItsOwn) {
    CaptureOptions options{};
    options.at = {5000, 0, 5000, 5000};
    const FramePlan plan = plan_frames(options);
    EXPECT_EQ(plan.readings, options.at);
    EXPECT_EQ(plan.first_kept, 0u);
    EXPECT_EQ(plan.names, (std::vector<std::string>{"005000.png", "000000.png", "005000-2.png",
                                                    "005000-3.png"}));
}

} // namespace
