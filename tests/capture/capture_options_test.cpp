#include "tools/capture/capture_options.h"
#include "tools/capture/frame_colour.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

ParseOutcome parse(std::initializer_list<const char*> words, CaptureOptions* options,
                   std::string* error) {
    std::vector<const char*> argv = {"dadadazo-capture"};
    argv.insert(argv.end(), words.begin(), words.end());
    return parse_capture_options(static_cast<int>(argv.size()), argv.data(), options, error);
}

TEST(CaptureOptions, ReadingsKeepTheirOrderAndTheModeDefaultsToTheFallback) {
    CaptureOptions options{};
    std::string error;
    ASSERT_EQ(parse({"-o", "shots", "--at", "9000", "0:500:1200", "9000"}, &options, &error),
              ParseOutcome::run)
        << error;
    EXPECT_EQ(options.at, (std::vector<long long>{9000, 0, 500, 1000, 9000}));
    EXPECT_EQ(options.mode.width, 1920);
    EXPECT_EQ(options.mode.height, 1080);
    EXPECT_EQ(options.fps, 0);
    EXPECT_EQ(options.output_kind, OutputKind::png_folder);
    EXPECT_EQ(options.renderer, Renderer::portable);

    ASSERT_EQ(
        parse({"--mode", "3", "--fps", "60", "--from", "20000", "--to", "21000", "-o", "part.webm"},
              &options, &error),
        ParseOutcome::run)
        << error;
    EXPECT_EQ(options.mode.width, 800);
    EXPECT_EQ(options.mode.height, 600);
    EXPECT_EQ(options.fps, 60);
    EXPECT_EQ(options.from_ms, 20000);
    EXPECT_EQ(options.to_ms, 21000);
    EXPECT_EQ(options.output_kind, OutputKind::webm);

    ASSERT_EQ(parse({"--renderer", "gl11", "--at", "0", "-o", "shots"}, &options, &error),
              ParseOutcome::run)
        << error;
    EXPECT_EQ(options.renderer, Renderer::gl11);
    ASSERT_EQ(parse({"--at", "0", "-o", "shots", "--renderer", "portable"}, &options, &error),
              ParseOutcome::run)
        << error;
    EXPECT_EQ(options.renderer, Renderer::portable);
    EXPECT_FALSE(options.gentle);
    ASSERT_EQ(parse({"--gentle", "--fps", "60", "-o", "-"}, &options, &error), ParseOutcome::run)
        << error;
    EXPECT_TRUE(options.gentle);
}

TEST(CaptureOptions, TheOutputNameChoosesVideoOrFolder) {
    const std::pair<const char*, OutputKind> cases[] = {{"show.mp4", OutputKind::mp4},
                                                        {"dir.v2/show.mkv", OutputKind::mkv},
                                                        {"show.webm", OutputKind::webm},
                                                        {"frames", OutputKind::png_folder},
                                                        {"frames/", OutputKind::png_folder},
                                                        {"out/.", OutputKind::png_folder},
                                                        {"../frames", OutputKind::png_folder},
                                                        {"raw.y4m", OutputKind::y4m},
                                                        {"-", OutputKind::y4m}};
    for (const auto& [name, kind] : cases) {
        CaptureOptions options{};
        std::string error;
        ASSERT_EQ(parse({"--fps", "30", "-o", name}, &options, &error), ParseOutcome::run)
            << name << ": " << error;
        EXPECT_EQ(options.output_kind, kind) << name;
    }
}

TEST(CaptureOptions, BadArgumentsAreRefusedWithAReason) {
    const std::vector<std::vector<const char*>> cases = {
        {},
        {"-o", "shots"},
        {"--at", "-o", "shots"},
        {"--at", "100001", "-o", "shots"},
        {"--at", "5:0:9", "-o", "shots"},
        {"--at", "0", "--fps", "30", "-o", "shots"},
        {"--at", "0", "-o", "shot.mp4"},
        {"--at", "0", "--from", "0", "-o", "shots"},
        {"--fps", "0", "-o", "v.mp4"},
        {"--fps", "241", "-o", "v.mp4"},
        {"--fps", "thirty", "-o", "v.mp4"},
        {"--fps", "1:1:2", "-o", "v.mp4"},
        {"--fps", "30", "--from", "2000", "--to", "2000", "-o", "v.mp4"},
        {"--fps", "30", "--from", "0:1:2", "-o", "v.mp4"},
        {"--fps", "30", "-o", "v.avi"},
        {"--fps", "30"},
        {"--fps", "30", "-o"},
        {"--fps", "30", "-o", "a.mp4", "-o", "b.mp4"},
        {"--mode", "9", "--fps", "30", "-o", "v.mp4"},
        {"--fps", "30", "--loud", "-o", "v.mp4"},
        {"--fps", "30", "--renderer", "-o", "v.mp4"},
        {"--fps", "30", "--renderer", "GL11", "-o", "v.mp4"},
        {"--fps", "30", "--renderer", "gl11", "--renderer", "portable", "-o", "v.mp4"},
        {"--fps", "30", "--chroma", "444", "-o", "frames"},
        {"--fps", "30", "--chroma", "420", "--chroma", "420", "-o", "v.mp4"},
        {"--at", "0", "-o", "-"},
        {"--gentle", "--renderer", "gl11", "--fps", "30", "-o", "v.mp4"},
        {"--gentle", "--fps", "30", "--gentle", "-o", "v.mp4"},
    };
    for (const auto& words : cases) {
        std::vector<const char*> argv = {"dadadazo-capture"};
        argv.insert(argv.end(), words.begin(), words.end());
        CaptureOptions options{};
        std::string error;
        std::string joined;
        for (const char* word : words) {
            joined += std::string(word) + " ";
        }
        EXPECT_EQ(
            parse_capture_options(static_cast<int>(argv.size()), argv.data(), &options, &error),
            ParseOutcome::bad)
            << joined;
        EXPECT_FALSE(error.empty()) << joined;
    }
}

TEST(CaptureFrames, TheColourFormulaGivesBt709StudioLevels) {
    // White, black, red and blue in one 2x2 frame (bottom row first): Y of each, then the
    // colour of their mean at 4:2:0; each alone at 4:4:4.
    const std::uint8_t rgba[] = {255, 255, 255, 255, 0, 0, 0, 255, 255, 0, 0, 255, 0, 0, 255, 255};
    std::uint8_t planar[12] = {};
    rgba_to_planar(rgba, 2, 2, Chroma::yuv420, planar);
    EXPECT_EQ(std::vector<int>(planar, planar + 6), (std::vector<int>{63, 32, 235, 16, 150, 153}));
    rgba_to_planar(rgba, 2, 2, Chroma::yuv444, planar);
    EXPECT_EQ(std::vector<int>(planar + 4, planar + 12),
              (std::vector<int>{102, 240, 128, 128, 240, 118, 128, 128}));
}

} // namespace
