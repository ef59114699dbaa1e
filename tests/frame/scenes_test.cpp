#include "tests/frame/recorded_frame.h"

#include <GL/gl.h>

#include <cmath>

namespace {

struct Point {
    double x, y;
};

std::vector<Point> vertices(const RecordedFrame& frame) {
    std::vector<Point> points;
    for (const GlCall* call : calls_of(frame, GlEntry::vertex2d)) {
        points.push_back({call->d[0], call->d[1]});
    }
    return points;
}

// The wave field's ripple for a counter value: 0.1 sin(n / 5 + t_f), rounded to single.
double ripple(int n, float t_f) {
    return static_cast<float>(0.1 * std::sin(n / 5.0 + t_f));
}

TEST(Scenes, CallCountsAndBatches) {
    struct Case {
        long long ms;
        std::size_t batches, vertices, colours; // colours include the frame's red
    };
    const Case cases[] = {
        {1000, 1, 10000, 1},       // wave field, still red
        {5000, 1, 10000, 10001},   // wave field, one colour per point
        {9000, 360, 720, 2},       // line rosettes
        {15000, 1440, 1440, 2},    // ring stack
        {30000, 9000, 9000, 9001}, // twin clouds
        {50000, 4000, 4000, 4001}, // wave rows
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        const RecordedFrame frame = record_frame(c.ms);
        EXPECT_EQ(count_of(frame, GlEntry::begin), c.batches);
        EXPECT_EQ(count_of(frame, GlEntry::end), c.batches);
        EXPECT_EQ(count_of(frame, GlEntry::vertex2d), c.vertices);
        EXPECT_EQ(count_of(frame, GlEntry::color3f), c.colours);
    }
}

TEST(WaveField, AtZeroTheRedGridIsRippledOnly) {
    const RecordedFrame frame = record_frame(0);
    const auto points = vertices(frame);
    ASSERT_EQ(points.size(), 10000u);
    for (int i = 0; i < 100; ++i) {
        for (int j = 0; j < 100; ++j) {
            const Point& point = points[i * 100 + j];
            ASSERT_EQ(point.x, i / 50.0 - 1 + ripple(j, 0.0f)) << i << ',' << j;
            ASSERT_EQ(point.y, j / 50.0 - 1 + ripple(i, 0.0f)) << i << ',' << j;
        }
    }
    EXPECT_EQ(points[0].x, -1.0);
    EXPECT_EQ(points[0].y, -1.0);
}

TEST(WaveField, ColourPhasesStartStrictlyAfterTheirBounds) {
    // Colour calls besides the frame's red, and the first point's colour.
    const struct {
        long long ms;
        std::size_t colours;
    } cases[] = {{1600, 0}, {1601, 10000}, {3199, 10000}, {3200, 0}, {3201, 10000}, {7999, 10000}};
    for (const auto& c : cases) {
        EXPECT_EQ(count_of(record_frame(c.ms), GlEntry::color3f) - 1, c.colours) << c.ms;
    }
    // From 1.6 s the red channel is cos A; after 3.2 s it is sin A and blue is cos A.
    const RecordedFrame early_frame = record_frame(1601);
    const RecordedFrame late_frame = record_frame(3201);
    const GlCall& early = *calls_of(early_frame, GlEntry::color3f)[1];
    const GlCall& late = *calls_of(late_frame, GlEntry::color3f)[1];
    EXPECT_FLOAT_EQ(early.f[0] * early.f[0] + early.f[1] * early.f[1], 1.0f);
    EXPECT_FLOAT_EQ(late.f[0] * late.f[0] + late.f[2] * late.f[2], 1.0f);
}

// The wobble of point (i = 0, j = 99): x off the rippled grid by sin(10 t_f) sin(99 / 35) times
// the amplitude; y by the column's wobble, which is 0 for column 0.
TEST(WaveField, WobbleIsASixthThenAnEighth) {
    const struct {
        long long ms;
        double amplitude;
    } cases[] = {{3200, 0.0}, {3201, 1.0 / 6}, {4800, 1.0 / 6}, {4801, 0.125}, {6000, 0.125}};
    for (const auto& c : cases) {
        const RecordedFrame frame = record_frame(c.ms);
        const Point point = vertices(frame)[99];
        const double expected = std::sin(10.0 * frame.t_f) * std::sin(99 / 35.0) * c.amplitude;
        EXPECT_NEAR(point.x - (-1 + ripple(99, frame.t_f)), expected, 1e-7) << c.ms;
        EXPECT_EQ(point.y, 99 / 50.0 - 1 + ripple(0, frame.t_f)) << c.ms;
    }
}

TEST(WaveField, DriftShearsFromSevenSecondsAndKeepsFalling) {
    DriftState drift{};
    record_frame(7000, drift);
    EXPECT_EQ(drift.drift_x, 0.0f);
    EXPECT_EQ(drift.fall_speed, 0.0f);

    // Within one frame the offsets sum all earlier points' steps: the first point is already
    // moved by (0 - 50) / 100000 on both axes; the frame adds -0.05 to each in all.
    const RecordedFrame frame = record_frame(7001, drift);
    EXPECT_EQ(vertices(frame)[0].x, -1 + static_cast<double>(-0.0005f) + ripple(0, frame.t_f));
    EXPECT_NEAR(drift.drift_x, -0.05 - 0.0001, 1e-5);
    EXPECT_NEAR(drift.drift_y, -0.05 - 0.01 - 0.0001, 1e-5);
    EXPECT_EQ(drift.fall_speed, -0.01f);

    // After 8 s only the per-frame update runs.
    DriftState late{};
    record_frame(9000, late);
    EXPECT_EQ(late.fall_speed, -0.01f);
    EXPECT_EQ(late.drift_x, -0.0001f);
    EXPECT_EQ(late.drift_y, static_cast<float>(-0.01 - 0.0001));
}

TEST(WaveField, FallDependsOnTheNumberOfFramesDrawn) {
    DriftState fast{}, slow{};
    for (long long ms = 7010; ms < 7900; ms += 10) {
        record_frame(ms, fast);
    }
    for (long long ms = 7030; ms < 7900; ms += 30) {
        record_frame(ms, slow);
    }
    const Point fast_point = vertices(record_frame(7900, fast))[0];
    const Point slow_point = vertices(record_frame(7900, slow))[0];
    EXPECT_NEAR(fast.fall_speed, -0.01 * 90, 1e-4);
    EXPECT_NEAR(slow.fall_speed, -0.01 * 30, 1e-4);
    EXPECT_LT(fast_point.y, slow_point.y - 10); // the faster machine's grid is far lower
    EXPECT_LT(fast_point.x, slow_point.x);      // and further left
}

TEST(LineRosettes, FanCentresJustAfterEightSeconds) {
    const auto points = vertices(record_frame(8001));
    ASSERT_EQ(points.size(), 720u);
    // First fan, k = 0: from (c1, 4) to (c1 + 2, 0); second fan, k = 0: from (c2, 2) to (0, 0).
    EXPECT_NEAR(points[0].x, std::cos(4.0005), 1e-12);
    EXPECT_NEAR(points[0].x, -0.65, 0.01);
    EXPECT_EQ(points[0].y, 4.0);
    EXPECT_NEAR(points[1].x - 2, points[0].x, 1e-12);
    EXPECT_EQ(points[1].y, 0.0);
    EXPECT_NEAR(points[360].x, -0.76, 0.01);
    EXPECT_EQ(points[360].y, 2.0);
    EXPECT_EQ(points[361].x, 0.0);
}

TEST(RingStack, RingOneJustAfterTwelveSeconds) {
    const auto points = vertices(record_frame(12001));
    ASSERT_EQ(points.size(), 1440u);
    // Ring 1, k = 0 sits at (0, cos psi); k = 45 (a quarter turn) at (sin psi, ~0).
    EXPECT_NEAR(points[0].y, 0.96, 0.005);
    EXPECT_NEAR(points[45].x, -0.28, 0.005);
}

TEST(TwinClouds, RingRadiusAndCentres) {
    // Just after 20 s ring 0's radius factor is sin 10: radius 1.09, mirrored.
    const auto start = vertices(record_frame(20001));
    EXPECT_NEAR(start[0].y, 2 * std::sin(10.0), 0.002);
    EXPECT_NEAR(start[0].y, -1.09, 0.005);

    // At 20 + pi (reading 23142) point k = 0 of each ring lies straight above its centre.
    const RecordedFrame frame = record_frame(23142);
    const auto points = vertices(frame);
    ASSERT_EQ(points.size(), 9000u);
    EXPECT_NEAR(points[0].x, -0.84, 0.01);
    EXPECT_NEAR(points[4500].x, 0.54, 0.01);
    // Ring colours: red cos n, then full green (first disc) or full blue (second).
    const auto colours = calls_of(frame, GlEntry::color3f);
    const GlCall& green_ring_3 = *colours[1 + 3 * 90];
    const GlCall& blue_ring_0 = *colours[1 + 4500];
    EXPECT_EQ(green_ring_3.f[0], static_cast<float>(std::cos(3.0)));
    EXPECT_EQ(green_ring_3.f[1], 1.0f);
    EXPECT_EQ(green_ring_3.f[2], 0.0f);
    EXPECT_EQ(format_gl_call(blue_ring_0), "glColor3f 1 0 1");
}

TEST(WaveRows, PureCurveWhereSineOfTimeVanishes) {
    // 13 pi s = 40.8407: the reading 40841 has |sin t| < 3e-4, so the ripple is under 1e-4.
    const auto points = vertices(record_frame(40841));
    ASSERT_EQ(points.size(), 4000u);
    for (int row = 0; row < 10; ++row) {
        for (int k = 0; k < 400; ++k) {
            const Point& p = points[row * 400 + k];
            ASSERT_NEAR(p.y, 0.5 * std::sin(k / 40.0) + 0.05 * row - 0.2, 1e-4) << row << ',' << k;
        }
    }
    // Elsewhere the ripple is plainly there.
    EXPECT_GT(std::fabs(vertices(record_frame(41500))[5].y - (0.5 * std::sin(5 / 40.0) - 0.2)),
              0.01);
}

// Counter expressions are evaluated in double: k / 100 - 2 for k = 1 is -1.99 exactly as a
// double, whereas 1.0f / 100 in single precision would give -1.9900000002235174; likewise the
// wave field's j / 50 - 1 for j = 1.
TEST(Precision, CounterExpressionsAreEvaluatedInDouble) {
    EXPECT_EQ(vertices(record_frame(45000))[1].x, -1.99);
    EXPECT_EQ(vertices(record_frame(0))[1].y, -0.98);
    EXPECT_EQ(format_gl_call(*calls_of(record_frame(0), GlEntry::vertex2d)[1]),
              "glVertex2d -0.9801330678164959 -0.97999999999999998");
}

} // namespace
