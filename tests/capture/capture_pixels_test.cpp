// Frames rendered offscreen by the real OpenGL (Mesa's software renderer on machines without a
// GPU): properties every frame must have, and golden images at chosen readings. The frames are
// drawn by the tool in a process of its own and read back from its PNGs, so the whole road from
// draw_frame to the file is what is checked.
#include "tests/lib/pixel_match.h"
#include "tests/lib/program_run.h"
#include "tools/capture/frame_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct Frame {
    int width;
    int height;
    std::vector<std::uint8_t> rgb;

    const std::uint8_t* at(int x, int y) const {
        return rgb.data() + (static_cast<std::size_t>(y) * width + x) * 3;
    }
    bool lit(int x, int y) const {
        const std::uint8_t* p = at(x, y);
        return p[0] != 0 || p[1] != 0 || p[2] != 0;
    }
};

class CapturePixels : public testing::Test {
  protected:
    static void SetUpTestSuite() { forget_display(); }
};

// Frames drawn by dadadazo-capture in mode `digit` at `readings` (one run, one drift carried
// through them in order), read back from its PNGs.
std::vector<Frame> capture(char digit, const std::vector<long long>& readings) {
    namespace fs = std::filesystem;
    const fs::path out = fs::path(TEST_OUTPUT_DIR) / "pixels" /
                         testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::remove_all(out);
    std::string command = std::string("'") + CAPTURE_TOOL + "' --mode " + digit + " --at";
    for (const long long reading : readings) {
        command += " " + std::to_string(reading);
    }
    command += " -o '" + out.string() + "'";
    std::vector<Frame> frames;
    const ProgramRun run = run_program(command);
    if (run.status != 0) {
        ADD_FAILURE() << "failed with status " << run.status << ": " << command << "\n" << run.err;
        return frames;
    }
    for (const long long reading : readings) {
        Frame frame{0, 0, {}};
        std::string error;
        if (!read_png((out / reading_file_name(reading, 1)).string(), &frame.width, &frame.height,
                      frame.rgb, &error)) {
            ADD_FAILURE() << error;
        }
        frames.push_back(frame);
    }
    return frames;
}

TEST_F(CapturePixels, TheFirstFrameIsARedGridCentredInTheView) {
    const std::vector<Frame> frames = capture('8', {0});
    ASSERT_EQ(frames.size(), 1u);
    const Frame& frame = frames[0];
    ASSERT_FALSE(frame.rgb.empty());
    ASSERT_EQ(frame.width, 480);
    ASSERT_EQ(frame.height, 320);
    // Rows come out top row first: the vertical ripple leaves a gap at the bottom edge where it
    // reaches up at the top, and the other way round one half-wave further right.
    EXPECT_TRUE(frame.lit(108, 2) && !frame.lit(108, 317));
    EXPECT_TRUE(!frame.lit(168, 2) && frame.lit(168, 317));
    const double scale = static_cast<double>(frame.height) / frame.width;
    // The grid spans -1 to 0.98 with ripples of up to 0.1 either way, under the aspect scale;
    // points are 10 pixels across.
    const double half = frame.width / 2.0;
    const int outside_left = static_cast<int>((1.0 - 1.1 * scale) * half) - 6;
    const int outside_right = static_cast<int>((1.0 + 1.1 * scale) * half) + 6;
    int left = frame.width, right = -1, top = frame.height, bottom = -1;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            const std::uint8_t* p = frame.at(x, y);
            ASSERT_TRUE(p[1] == 0 && p[2] == 0) << "not red or black at " << x << "," << y;
            if (p[0] == 0) {
                continue;
            }
            ASSERT_GT(x, outside_left) << "lit outside the aspect-scaled area at " << x << "," << y;
            ASSERT_LT(x, outside_right)
                << "lit outside the aspect-scaled area at " << x << "," << y;
            left = std::min(left, x);
            right = std::max(right, x);
            top = std::min(top, y);
            bottom = std::max(bottom, y);
        }
    }
    ASSERT_LT(left, right);
    EXPECT_NEAR((left + right) / 2.0, half, 4.0) << left << " to " << right;
    EXPECT_LT(left, outside_left + 16);
    EXPECT_GT(right, outside_right - 16);
    // Red in every tenth of the grid's span across and down.
    for (int band = 0; band < 10; ++band) {
        const int x0 = left + (right - left + 1) * band / 10;
        const int x1 = left + (right - left + 1) * (band + 1) / 10;
        const int y0 = top + (bottom - top + 1) * band / 10;
        const int y1 = top + (bottom - top + 1) * (band + 1) / 10;
        bool column_band_red = false, row_band_red = false;
        for (int y = 0; y < frame.height && !column_band_red; ++y) {
            for (int x = x0; x < x1 && !column_band_red; ++x) {
                column_band_red = frame.at(x, y)[0] == 255;
            }
        }
        for (int y = y0; y < y1 && !row_band_red; ++y) {
            for (int x = 0; x < frame.width && !row_band_red; ++x) {
                row_band_red = frame.at(x, y)[0] == 255;
            }
        }
        EXPECT_TRUE(column_band_red) << "no red in tenth " << band << " of the width";
        EXPECT_TRUE(row_band_red) << "no red in tenth " << band << " of the height";
    }
}

TEST_F(CapturePixels, FramesExactlyOnASceneBoundaryAreBlack) {
    const std::vector<long long> readings = {8000, 12000, 20000, 40000};
    const std::vector<Frame> frames = capture('8', readings);
    ASSERT_EQ(frames.size(), readings.size());
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const Frame& frame = frames[i];
        const long long reading = readings[i];
        ASSERT_FALSE(frame.rgb.empty());
        EXPECT_TRUE(
            std::all_of(frame.rgb.begin(), frame.rgb.end(), [](std::uint8_t v) { return v == 0; }))
            << "something drawn at " << reading << " ms";
    }
}

TEST_F(CapturePixels, EveryLitPixelOfTheWaveRowsHasFullRed) {
    const std::vector<long long> readings = {40001, 45000, 52500, 58000};
    const std::vector<Frame> frames = capture('8', readings);
    ASSERT_EQ(frames.size(), readings.size());
    for (std::size_t i = 0; i < readings.size(); ++i) {
        const Frame& frame = frames[i];
        const long long reading = readings[i];
        ASSERT_FALSE(frame.rgb.empty());
        long long lit = 0;
        for (int y = 0; y < frame.height; ++y) {
            for (int x = 0; x < frame.width; ++x) {
                if (frame.lit(x, y)) {
                    ++lit;
                    ASSERT_EQ(frame.at(x, y)[0], 255) << reading << " ms at " << x << "," << y;
                }
            }
        }
        EXPECT_GT(lit, 1000) << reading << " ms";
    }
}

TEST_F(CapturePixels, TheAspectScaleNarrowsThe800x600Figure) {
    const std::vector<Frame> frames = capture('7', {0});
    ASSERT_EQ(frames.size(), 1u);
    const Frame& frame = frames[0];
    ASSERT_FALSE(frame.rgb.empty());
    int left = frame.width, right = -1;
    for (int y = 0; y < frame.height; ++y) {
        for (int x = 0; x < frame.width; ++x) {
            if (frame.lit(x, y)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    }
    // x from -1.0996 to 1.0796 (grid and ripple) times 0.75, plus the point's 5-pixel radius.
    EXPECT_GE(left, 60);
    EXPECT_LE(left, 72);
    EXPECT_GE(right, 722);
    EXPECT_LE(right, 734);
}

// Golden images: the tool's own PNGs at a few readings of each scene, in the small mode. A pixel
// matches when every channel is within 16; a few mismatches along point edges are allowed, since
// the software renderer's coverage rules may differ between versions.
constexpr PixelTolerance golden_tolerance{16, 0.995, 0.0};

TEST_F(CapturePixels, FramesMatchTheGoldenImages) {
    namespace fs = std::filesystem;
    const fs::path out = fs::path(TEST_OUTPUT_DIR) / "golden-run";
    fs::remove_all(out);
    const std::string readings = "0 2500 5000 7500 10000 16000 30000 45000";
    const std::string command = std::string("'") + CAPTURE_TOOL + "' --mode 8 --at " + readings +
                                " -o '" + out.string() + "'";
    const ProgramRun run = run_program(command);
    ASSERT_EQ(run.status, 0) << command << "\n" << run.err;
    const bool update = std::getenv("DADADAZO_UPDATE_GOLDEN") != nullptr;
    for (const long long reading : {0, 2500, 5000, 7500, 10000, 16000, 30000, 45000}) {
        const std::string name = reading_file_name(reading, 1);
        const fs::path golden = fs::path(GOLDEN_DIR) / name;
        if (update) {
            fs::copy_file(out / name, golden, fs::copy_options::overwrite_existing);
            continue;
        }
        const std::string mismatch =
            compare_png_files(golden.string(), (out / name).string(), golden_tolerance,
                              (out / ("difference-" + name)).string());
        EXPECT_EQ(mismatch, "") << name << ", frame in " << (out / name);
    }
}

} // namespace
