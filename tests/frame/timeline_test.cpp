#include "tests/frame/recorded_frame.h"

#include <GL/gl.h>

namespace {

TEST(Timeline, EveryFrameStartsTheSameWayAndPrintsItsTime) {
    const RecordedFrame frame = record_frame(0);
    ASSERT_GE(frame.calls.size(), 7u);
    const char* expected[] = {
        "glClear GL_COLOR_BUFFER_BIT", "glPushMatrix",        "glPointSize 10",
        "glEnable GL_POINT_SMOOTH",    "glScaled 0.5625 1 0", "glColor3f 1 0 0"};
    for (std::size_t index = 0; index < std::size(expected); ++index) {
        EXPECT_EQ(format_gl_call(frame.calls[index]), expected[index]) << index;
    }
    EXPECT_EQ(format_gl_call(frame.calls.back()), "glPopMatrix");
    EXPECT_EQ(frame.console, "0.000000.\n");
    EXPECT_EQ(record_frame(12345).console, "12.345000.\n");

    DriftState drift{};
    EXPECT_EQ(record_frame(0, drift, mode_for_key('3')).calls[4].d[0], 0.75);
    EXPECT_EQ(record_frame(0, drift, mode_for_key('8')).calls[4].d[0], 320.0 / 480.0);
}

// Which figure a frame draws and how it is turned, at and around every window bound. The angles
// come from the single-precision clock: 19.999 s turns by -0.139923096, not -0.14.
TEST(Timeline, WindowsAndRotations) {
    struct Case {
        long long ms;
        std::size_t batches; // glBegin calls
        GLenum batch_mode;
        const char* rotation; // nullptr: none
    };
    const Case cases[] = {
        {0, 1, GL_POINTS, nullptr},
        {7999, 1, GL_POINTS, nullptr},
        {8000, 0, 0, nullptr},
        {8001, 360, GL_LINES, "glRotatef 320.040009 1 0 1"},
        {11999, 360, GL_LINES, "glRotatef 479.959991 1 0 1"},
        {12000, 0, 0, nullptr},
        {12001, 1440, GL_POINTS, "glRotatef -1119.85999 0 0 1"},
        {19999, 1440, GL_POINTS, "glRotatef -0.139923096 0 0 1"},
        {20000, 0, 0, nullptr},
        {20001, 9000, GL_POINTS, "glRotatef 0.139923096 1 1 1"},
        {39999, 9000, GL_POINTS, "glRotatef 2799.86011 1 1 1"},
        {40000, 0, 0, nullptr},
        {40001, 4000, GL_POINTS, nullptr},
        {61000, 4000, GL_POINTS, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        const RecordedFrame frame = record_frame(c.ms);
        const auto begins = calls_of(frame, GlEntry::begin);
        ASSERT_EQ(begins.size(), c.batches);
        for (const GlCall* begin : begins) {
            ASSERT_EQ(begin->e, c.batch_mode);
        }
        if (c.batches == 0) {
            EXPECT_EQ(count_of(frame, GlEntry::vertex2d), 0u);
        }
        const auto rotations = calls_of(frame, GlEntry::rotatef);
        if (c.rotation == nullptr) {
            EXPECT_TRUE(rotations.empty());
        } else {
            ASSERT_EQ(rotations.size(), 1u);
            EXPECT_EQ(format_gl_call(*rotations[0]), c.rotation);
            // The turn is applied after the scale, before anything is drawn.
            EXPECT_EQ(rotations[0], &frame.calls[5]);
        }
    }
}

TEST(Timeline, MatrixStackIsLeftBalanced) {
    DriftState drift{};
    for (long long ms = 0; ms <= 62000; ms += 250) {
        const RecordedFrame frame = record_frame(ms, drift);
        EXPECT_EQ(count_of(frame, GlEntry::push_matrix), 1u) << ms;
        EXPECT_EQ(count_of(frame, GlEntry::pop_matrix), 1u) << ms;
        EXPECT_EQ(frame.calls[1].entry, GlEntry::push_matrix) << ms;
        EXPECT_EQ(frame.calls.back().entry, GlEntry::pop_matrix) << ms;
        EXPECT_EQ(count_of(frame, GlEntry::begin), count_of(frame, GlEntry::end)) << ms;
    }
}

TEST(Timeline, LinesAreTwoPixelsAndPointsSwellOnlyAfter58Seconds) {
    for (const long long ms : {9000LL, 45000LL, 58000LL}) {
        const RecordedFrame frame = record_frame(ms);
        const auto sizes = calls_of(frame, GlEntry::point_size);
        ASSERT_EQ(sizes.size(), 1u) << ms;
        EXPECT_EQ(sizes[0]->f[0], 10.0f);
        const auto widths = calls_of(frame, GlEntry::line_width);
        ASSERT_EQ(widths.size(), 1u) << ms;
        EXPECT_EQ(widths[0]->f[0], 2.0f);
    }
    const struct {
        long long ms;
        float size;
    } swells[] = {{58001, 10.2f}, {61000, 610.0f}}; // 10 + 200 pixels a second past 58 s
    for (const auto& swell : swells) {
        const RecordedFrame frame = record_frame(swell.ms);
        const auto sizes = calls_of(frame, GlEntry::point_size);
        ASSERT_EQ(sizes.size(), 2u);
        EXPECT_EQ(sizes[1]->f[0], swell.size);
        // Set before the rows' first point.
        EXPECT_LT(sizes[1], calls_of(frame, GlEntry::begin).front());
    }
}

} // namespace
