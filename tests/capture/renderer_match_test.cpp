// The portable renderer against the driver's own OpenGL 1.1: the same readings drawn by both
// (each in a run of dadadazo-capture of its own, so one drift is carried through them alike),
// compared pixel by pixel. Readings lie in every scene, the final swell included.
#include "tools/capture/capture.h"
#include "tools/capture/png_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A pixel is the same when every channel is within this of the other renderer's.
constexpr int channel_tolerance = 1;
// At least this share of a frame's pixels are the same.
constexpr double least_share_same = 0.99;
// ... and, since most of a frame is black background, at least this share of the pixels either
// renderer lights: points and lines differ at most along their edges.
constexpr double least_share_of_lit_same = 0.99;

const std::vector<long long> readings = {
    0,     // wave field, still red
    2500,  // wave field, coloured
    5000,  // wave field, wobbling
    7500,  // wave field, falling
    10000, // line rosettes
    16000, // ring stack
    30000, // twin clouds
    45000, // wave rows
    58500, // the swell begins
    60500, // the swell, points held at the size limit
};

class RendererMatch : public testing::Test {
  protected:
    static void SetUpTestSuite() { unsetenv("DISPLAY"); }
};

// Draws every reading in mode `digit` with `renderer` into a folder of PNGs; returns the folder.
fs::path capture(char digit, const std::string& renderer) {
    const fs::path out = fs::path(TEST_OUTPUT_DIR) / "renderer-match" /
                         (std::string("mode") + digit + "-" + renderer);
    fs::remove_all(out);
    fs::create_directories(out.parent_path());
    std::string command =
        std::string("'") + CAPTURE_TOOL + "' --renderer " + renderer + " --mode " + digit + " --at";
    for (const long long reading : readings) {
        command += " " + std::to_string(reading);
    }
    command += " -o '" + out.string() + "' >/dev/null 2>'" + out.string() + ".log'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return out;
}

struct Comparison {
    long long pixels;
    long long same;
    long long lit;        // lit in either frame
    long long lit_differ; // of those, how many differ
    int first_x, first_y; // the first pixel that differs, top row first; -1 when none
    int left, top;        // bounding box of all differing pixels
    int right, bottom;    //
    std::vector<std::uint8_t> difference; // white where they differ, the reference dimmed
};

Comparison compare(int width, int height, const std::vector<std::uint8_t>& reference,
                   const std::vector<std::uint8_t>& actual) {
    Comparison c{static_cast<long long>(width) * height,     0, 0, 0, -1, -1, width, height, -1, -1,
                 std::vector<std::uint8_t>(reference.size())};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
            int worst = 0;
            bool lit = false;
            for (std::size_t k = 0; k < 3; ++k) {
                worst = std::max(worst, std::abs(reference[i + k] - actual[i + k]));
                lit = lit || reference[i + k] != 0 || actual[i + k] != 0;
            }
            const bool differs = worst > channel_tolerance;
            c.same += differs ? 0 : 1;
            c.lit += lit ? 1 : 0;
            c.lit_differ += differs ? 1 : 0;
            if (differs) {
                if (c.first_x < 0) {
                    c.first_x = x;
                    c.first_y = y;
                }
                c.left = std::min(c.left, x);
                c.top = std::min(c.top, y);
                c.right = std::max(c.right, x);
                c.bottom = std::max(c.bottom, y);
            }
            for (std::size_t k = 0; k < 3; ++k) {
                c.difference[i + k] =
                    differs ? 255 : static_cast<std::uint8_t>(reference[i + k] / 4);
            }
        }
    }
    return c;
}

void expect_renderers_agree(char digit, int width, int height) {
    const fs::path reference = capture(digit, "gl11");
    const fs::path portable = capture(digit, "portable");
    for (const long long reading : readings) {
        const std::string name = reading_file_name(reading, 1);
        int rw = 0, rh = 0, pw = 0, ph = 0;
        std::vector<std::uint8_t> expected, actual;
        std::string error;
        ASSERT_TRUE(read_png((reference / name).string(), &rw, &rh, expected, &error)) << error;
        ASSERT_TRUE(read_png((portable / name).string(), &pw, &ph, actual, &error)) << error;
        ASSERT_EQ(rw, width);
        ASSERT_EQ(rh, height);
        ASSERT_EQ(pw, width);
        ASSERT_EQ(ph, height);
        const Comparison c = compare(width, height, expected, actual);
        const double share = static_cast<double>(c.same) / static_cast<double>(c.pixels);
        const double lit_share =
            c.lit == 0 ? 1.0 : 1.0 - static_cast<double>(c.lit_differ) / static_cast<double>(c.lit);
        std::printf("%dx%d at %lld ms: %lld of %lld pixels differ, %lld of the %lld lit ones\n",
                    width, height, reading, c.pixels - c.same, c.pixels, c.lit_differ, c.lit);
        if (share < least_share_same || lit_share < least_share_of_lit_same) {
            const fs::path diff = portable / ("difference-" + name);
            ASSERT_TRUE(write_png(diff.string(), width, height, c.difference, &error)) << error;
            ADD_FAILURE() << width << "x" << height << " at " << reading
                          << " ms: " << c.pixels - c.same << " of " << c.pixels
                          << " pixels differ (" << c.lit_differ << " of the " << c.lit
                          << " lit ones), first at " << c.first_x << "," << c.first_y
                          << " (top row 0), all within x " << c.left << " to " << c.right << ", y "
                          << c.top << " to " << c.bottom << "; difference image in " << diff
                          << ", frames in " << reference << " and " << portable;
        }
    }
}

TEST_F(RendererMatch, FramesAt480x320MatchTheDriversOpenGl11) {
    expect_renderers_agree('8', 480, 320);
}

TEST_F(RendererMatch, FramesAt800x600MatchTheDriversOpenGl11) {
    expect_renderers_agree('7', 800, 600);
}

} // namespace
