// dadadazo-capture as a user runs it: PNG folders, video through ffmpeg, and its error paths.
#include "tests/lib/pixel_match.h"
#include "tests/lib/program_run.h"
#include "tools/capture/frame_colour.h"
#include "tools/capture/frame_plan.h"
#include "wav/wav_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

class CaptureTool : public testing::Test {
  protected:
    static void SetUpTestSuite() { forget_display(); }

    void SetUp() override {
        dir = fs::path(TEST_OUTPUT_DIR) / "tool" /
              testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::remove_all(dir);
        fs::create_directories(dir);
    }

    // Runs the tool in the test's own folder; `environment` is put before the command.
    ProgramRun run(const std::string& arguments, const std::string& environment = "") const {
        return run_program(environment + " '" + CAPTURE_TOOL + "' " + arguments, dir.string());
    }

    // What ffprobe says about one stream kind: "" when the file has no such stream.
    std::string probe(const std::string& file, const std::string& stream,
                      const std::string& entries) const {
        const ProgramRun probe =
            run_program("ffprobe -v error -count_frames -select_streams " + stream +
                            " -show_entries stream=" + entries + " -of csv=p=0 '" + file + "'",
                        dir.string());
        EXPECT_EQ(probe.status, 0) << probe.err;
        std::string text = probe.out;
        while (!text.empty() && (text.back() == '\n' || text.back() == ',')) {
            text.pop_back();
        }
        return text;
    }

    // A short 16-bit mono tone as the soundtrack.
    void write_soundtrack(double seconds) const {
        const int rate = 8000;
        std::vector<std::int16_t> samples(static_cast<std::size_t>(seconds * rate));
        for (std::size_t i = 0; i < samples.size(); ++i) {
            samples[i] =
                static_cast<std::int16_t>(8000.0 * std::sin(2.0 * M_PI * 440.0 * i / rate));
        }
        const std::vector<std::uint8_t> file = wav_file_bytes(samples, rate, 1);
        std::ofstream(dir / "tarmelipolkka.wav", std::ios::binary)
            .write(reinterpret_cast<const char*>(file.data()),
                   static_cast<std::streamsize>(file.size()));
    }

    // A stand-in ffmpeg on PATH that reads a little and fails.
    std::string failing_ffmpeg() const {
        const fs::path bin = dir / "bin";
        fs::create_directories(bin);
        std::ofstream script(bin / "ffmpeg");
        script << "#!/bin/sh\nhead -c 1000 >/dev/null\necho 'Encoder exploded' >&2\nexit 3\n";
        script.close();
        fs::permissions(bin / "ffmpeg", fs::perms::owner_all);
        return "PATH='" + bin.string() + ":/usr/bin:/bin'";
    }

    std::size_t entries() const {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(dir), {}));
    }

    fs::path dir;
};

TEST_F(CaptureTool, ReadingsBecomePngsNamedByReadingAndStdoutStaysQuiet) {
    const ProgramRun result = run("--mode 8 --at 0 1000:1000:2000 0 -o shots");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    for (const char* name : {"000000.png", "001000.png", "002000.png", "000000-2.png"}) {
        EXPECT_TRUE(fs::is_regular_file(dir / "shots" / name)) << name;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "shots"), {}), 4);
    EXPECT_NE(result.err.find("shots"), std::string::npos) << result.err;
    // The same reading drawn twice before 7 s gives the same picture.
    EXPECT_TRUE(slurp(dir / "shots/000000.png") == slurp(dir / "shots/000000-2.png"));
}

TEST_F(CaptureTool, TheClosingLineNamesTheRendererAndGl11DrawsThroughTheDriver) {
    const ProgramRun portable = run("--mode 8 --at 30000 -o portable");
    ASSERT_EQ(portable.status, 0) << portable.err;
    EXPECT_NE(portable.err.find("drawn by the portable renderer on "), std::string::npos)
        << portable.err;
    const ProgramRun gl11 =
        run("--renderer gl11 --mode 8 --fps 10 --from 29900 --to 30100 -o gl11");
    ASSERT_EQ(gl11.status, 0) << gl11.err;
    EXPECT_EQ(gl11.out, "");
    EXPECT_NE(gl11.err.find("own OpenGL 1.1"), std::string::npos) << gl11.err;
    EXPECT_EQ(gl11.err.find("portable"), std::string::npos) << gl11.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "gl11"), {}), 2);
    // Frame 300 lies at 30000 ms, in the twin clouds: a picture, not a blank.
    ASSERT_TRUE(fs::is_regular_file(dir / "gl11/frame-00300.png"));
    EXPECT_GT(fs::file_size(dir / "gl11/frame-00300.png"), 2000u);
}

TEST_F(CaptureTool, APartOfTheShowBecomesAVideoWithTheSoundtrackUnderIt) {
    write_soundtrack(0.7); // shorter than the part: it has to loop
    for (const std::string video : {"part.mp4", "part.webm"}) {
        const ProgramRun result = run("--mode 8 --fps 10 --from 1000 --to 2500 -o " + video);
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, "");
        ASSERT_TRUE(fs::is_regular_file(dir / video));
        EXPECT_EQ(probe(video, "v", "width,height,nb_read_frames"), "480,320,15");
        // Every player shows the colours as drawn only when the stream says what they are.
        EXPECT_EQ(probe(video, "v", "pix_fmt,color_range,color_space,color_transfer"),
                  "yuv420p,tv,bt709,bt709");
        EXPECT_EQ(probe(video, "v", "color_primaries"), "bt709");
        // WebM keeps durations in the container only.
        const std::string audio = probe(video, "a", "codec_type,duration");
        ASSERT_EQ(audio.rfind("audio", 0), 0u) << audio;
        if (video == "part.mp4") {
            EXPECT_NEAR(std::stod(audio.substr(6)), 1.5, 0.1) << audio;
        }
    }
    EXPECT_EQ(entries(), 3u) << "only the soundtrack and the videos are left";
}

TEST_F(CaptureTool, WithoutASoundtrackTheVideoIsSilent) {
    const ProgramRun result =
        run("--mode 8 --fps 4 --from 60000 --to 61000 --chroma 444 -o end.mkv");
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(probe("end.mkv", "v", "width,height,nb_read_frames"), "480,320,4");
    EXPECT_EQ(probe("end.mkv", "v", "profile,pix_fmt"), "High 4:4:4 Predictive,yuv444p");
    EXPECT_EQ(probe("end.mkv", "a", "codec_type"), "");
    EXPECT_NE(result.err.find("silent"), std::string::npos) << result.err;
}

TEST_F(CaptureTool, APartCarriesTheDriftOfEveryEarlierFrame) {
    ASSERT_EQ(run("--mode 8 --fps 20 --to 7600 -o whole").status, 0);
    ASSERT_EQ(run("--mode 8 --fps 20 --from 7500 --to 7600 -o part").status, 0);
    ASSERT_EQ(run("--mode 8 --at 7550 -o fresh").status, 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "whole"), {}), 152);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "part"), {}), 2);
    for (const char* name : {"frame-00150.png", "frame-00151.png"}) {
        ASSERT_TRUE(fs::is_regular_file(dir / "part" / name)) << name;
        EXPECT_TRUE(slurp(dir / "part" / name) == slurp(dir / "whole" / name)) << name;
    }
    // Frame 151 lies at 7550 ms: without the drift of the frames before it, it looks different.
    EXPECT_FALSE(slurp(dir / "part/frame-00151.png") == slurp(dir / "fresh/007550.png"));
}

// The frames of a Y4M stream against the BT.709 formula applied to the PNGs of the same part:
// every sample within 1, every frame there once and in order.
TEST_F(CaptureTool, Y4mOnStdoutHoldsEveryFrameOfThePartInOrder) {
    const std::string part = "--mode 8 --fps 20 --from 9000 --to 9200 ";
    ASSERT_EQ(run(part + "-o pngs").status, 0);
    for (const Chroma chroma : {Chroma::yuv420, Chroma::yuv444}) {
        const bool full = chroma == Chroma::yuv444;
        const ProgramRun result = run(part + (full ? "--chroma 444 -o -" : "-o -"));
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string header = std::string("YUV4MPEG2 W480 H320 F20:1 Ip A1:1 ") +
                                   (full ? "C444" : "C420jpeg") + " XCOLORRANGE=LIMITED\n";
        ASSERT_EQ(result.out.substr(0, header.size()), header);
        const std::size_t bytes = planar_frame_bytes(480, 320, chroma);
        ASSERT_EQ(result.out.size(), header.size() + 4 * (6 + bytes));
        for (int k = 0; k < 4; ++k) {
            const std::size_t at = header.size() + k * (6 + bytes);
            ASSERT_EQ(result.out.substr(at, 6), "FRAME\n");
            int width = 0, height = 0;
            std::vector<std::uint8_t> rgb, rgba, expected(bytes);
            std::string error;
            ASSERT_TRUE(read_png((dir / "pngs" / frame_file_name(180 + k)).string(), &width,
                                 &height, rgb, &error))
                << error;
            for (int row = height - 1; row >= 0; --row) { // as OpenGL reads: bottom row first
                for (int x = 0; x < width; ++x) {
                    const std::uint8_t* p = &rgb[(static_cast<std::size_t>(row) * width + x) * 3];
                    rgba.insert(rgba.end(), {p[0], p[1], p[2], 255});
                }
            }
            rgba_to_planar(rgba.data(), width, height, chroma, expected.data());
            std::size_t off = 0;
            for (std::size_t i = 0; i < bytes; ++i) {
                off +=
                    std::abs(static_cast<std::uint8_t>(result.out[at + 6 + i]) - expected[i]) > 1;
            }
            EXPECT_EQ(off, 0u) << "frame " << k << (full ? " at 4:4:4" : " at 4:2:0");
        }
    }
}

// The worst second of the show (mode 7, from 29.68 s: 18 general flashes) flashes three times at
// most when captured gently, by the same check the README gives; plain, it flashes far more. The
// part's first frame, before any area has flashed, is the same gently, byte for byte. And the
// wave rows in mode 3, where areas' reds sit near the dark's line, keep within three red
// flashes gently too (an earlier step let 3.5 through there).
TEST_F(CaptureTool, GentleKeepsTheWorstSecondWithinThreeFlashes) {
    const std::string part = "--mode 7 --fps 60 --from 29400 --to 30800 --chroma 444 ";
    std::string streams[2];
    for (const bool gentle : {false, true}) {
        const ProgramRun capture = run(part + (gentle ? "--gentle -o part.y4m" : "-o part.y4m"));
        ASSERT_EQ(capture.status, 0) << capture.err;
        EXPECT_EQ(capture.err.find(", gentle, ") != std::string::npos, gentle) << capture.err;
        const ProgramRun check =
            run_program("'" FLASH_CHECK "' --from 29.4 '" + (dir / "part.y4m").string() + "'");
        EXPECT_EQ(check.status, gentle ? 0 : 1) << check.out << check.err;
        streams[gentle] = slurp(dir / "part.y4m");
        fs::remove(dir / "part.y4m");
    }
    const std::size_t second_frame = streams[0].find("FRAME", streams[0].find("FRAME") + 1);
    ASSERT_NE(second_frame, std::string::npos);
    EXPECT_TRUE(streams[0].compare(0, second_frame, streams[1], 0, second_frame) == 0);

    const ProgramRun rows = run("--mode 3 --gentle --fps 60 --from 47000 --to 49600 --chroma 444 "
                                "-o rows.y4m");
    ASSERT_EQ(rows.status, 0) << rows.err;
    const ProgramRun check =
        run_program("'" FLASH_CHECK "' --from 47 '" + (dir / "rows.y4m").string() + "'");
    EXPECT_EQ(check.status, 0) << check.out << check.err;
}

TEST_F(CaptureTool, GrowingPointsPastTheRenderersLimitIsReportedOnce) {
    // 59.3 s and 59.4 s ask for 270 and 290 pixels.
    const ProgramRun result = run("--mode 8 --at 58000 59300 59400 -o swell");
    ASSERT_EQ(result.status, 0) << result.err;
    std::size_t reports = 0;
    for (std::size_t at = 0; (at = result.err.find("asked for", at)) != std::string::npos; ++at) {
        ++reports;
    }
    // Mesa's software renderer stops at 255 pixels; a GPU may draw them all.
    if (result.err.find("llvmpipe") != std::string::npos) {
        EXPECT_EQ(reports, 1u) << result.err;
        EXPECT_NE(result.err.find("points of 270 pixels asked for"), std::string::npos)
            << result.err;
    } else {
        EXPECT_LE(reports, 1u) << result.err;
    }
}

TEST_F(CaptureTool, BadArgumentsExitWith2AndWriteNothing) {
    for (const char* arguments :
         {"", "--at 0", "--fps 500 -o v.mp4", "--at x -o shots", "--fps 30 -o v.avi",
          "--fps 30 --from 62000 -o v.mp4", "--renderer vulkan --at 0 -o shots",
          "--fps 30 --chroma 422 -o v.mp4"}) {
        const ProgramRun result = run(arguments);
        EXPECT_EQ(result.status, 2) << arguments;
        EXPECT_EQ(result.out, "") << arguments;
        EXPECT_NE(result.err.find("dadadazo-capture: "), std::string::npos) << arguments;
        EXPECT_EQ(entries(), 0u) << arguments;
    }
    const ProgramRun help = run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: dadadazo-capture"), std::string::npos);
}

TEST_F(CaptureTool, NoRendererIsAFailureThatLeavesNothing) {
    const std::string no_vendor = "__EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json";
    for (const char* arguments :
         {"--mode 8 --at 0 -o shots", "--mode 8 --fps 10 --to 500 -o v.mp4"}) {
        const ProgramRun result = run(arguments, no_vendor);
        EXPECT_EQ(result.status, 1) << arguments;
        EXPECT_NE(result.err.find("no OpenGL renderer available: "), std::string::npos)
            << result.err;
        EXPECT_EQ(entries(), 0u) << arguments;
    }
}

TEST_F(CaptureTool, AnOutputThatCannotBeWrittenFailsBeforeDrawing) {
    std::ofstream(dir / "plain-file") << "not a folder";
    for (const char* arguments :
         {"--mode 8 --at 0 -o plain-file", "--mode 8 --at 0 -o plain-file/shots",
          "--mode 8 --fps 10 --to 500 -o plain-file/v.mp4",
          "--mode 8 --fps 10 --to 500 -o missing/v.mp4"}) {
        const ProgramRun result = run(arguments);
        EXPECT_EQ(result.status, 1) << arguments;
        EXPECT_NE(result.err.find("cannot write"), std::string::npos) << result.err;
        EXPECT_EQ(entries(), 1u) << arguments;
    }
}

TEST_F(CaptureTool, AMissingFfmpegSuggestsAFolderOfPngs) {
    const ProgramRun result = run("--mode 8 --fps 10 --to 500 -o v.mp4", "PATH=/nonexistent");
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("ffmpeg not found"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("folder"), std::string::npos) << result.err;
    EXPECT_EQ(entries(), 0u);
}

TEST_F(CaptureTool, AFailingFfmpegIsReportedAndItsFileTakenAway) {
    const ProgramRun result = run("--mode 8 --fps 10 --to 2000 -o v.webm", failing_ffmpeg());
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("ffmpeg failed with status 3"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Encoder exploded"), std::string::npos) << result.err;
    EXPECT_EQ(entries(), 1u) << "only the stand-in ffmpeg's folder is left";
}

} // namespace
