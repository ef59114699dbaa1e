// The portable renderer against the driver's own OpenGL 1.1: the same readings drawn by both
// (each in a run of dadadazo-capture of its own, so one drift is carried through them alike),
// compared pixel by pixel. Readings lie in every scene, the final swell included.
#include "tests/lib/pixel_match.h"
#include "tests/lib/program_run.h"
#include "tools/capture/frame_plan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// A pixel is the same when every channel is within 1 of the other renderer's; 99% of a frame's
// pixels are the same, and, since most of a frame is black background, 99% of those either
// renderer lights: points and lines differ at most along their edges.
constexpr PixelTolerance renderers_agree{1, 0.99, 0.99};

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
    static void SetUpTestSuite() { forget_display(); }
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
    command += " -o '" + out.string() + "'";
    const ProgramRun run = run_program(command);
    EXPECT_EQ(run.status, 0) << command << "\n" << run.err;
    return out;
}

void expect_renderers_agree(char digit, int width, int height) {
    const fs::path reference = capture(digit, "gl11");
    const fs::path portable = capture(digit, "portable");
    for (const long long reading : readings) {
        const std::string name = reading_file_name(reading, 1);
        PixelComparison c;
        const std::string mismatch =
            compare_png_files((reference / name).string(), (portable / name).string(),
                              renderers_agree, (portable / ("difference-" + name)).string(), &c);
        EXPECT_EQ(c.width, width);
        EXPECT_EQ(c.height, height);
        std::printf("%dx%d at %lld ms: %s\n", width, height, reading, c.summary().c_str());
        EXPECT_EQ(mismatch, "") << width << "x" << height << " at " << reading << " ms; frames in "
                                << reference << " and " << portable;
    }
}

TEST_F(RendererMatch, FramesAt480x320MatchTheDriversOpenGl11) {
    expect_renderers_agree('8', 480, 320);
}

TEST_F(RendererMatch, FramesAt800x600MatchTheDriversOpenGl11) {
    expect_renderers_agree('7', 800, 600);
}

} // namespace
