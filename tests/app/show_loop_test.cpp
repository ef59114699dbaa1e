// The show loop and the entry function against a scripted platform: every platform call and
// every frame is logged, clock readings and messages come from the script.
#include "app/show.h"
#include "timeline/draw_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include <unistd.h>

struct PlatformWindow {
    int id;
};

namespace {

struct Frame {
    double t;
    float t_f;
    DisplayMode mode;
    const DriftState* drift; // where the state lives: the same object every frame
    DriftState drift_seen;   // its value when the frame was drawn
};

// The script and the log. The platform is process-wide by nature, so the fake is too.
struct Script {
    std::deque<long long> clock_readings; // consumed one per platform_clock_ms
    std::deque<PumpResult> messages;      // consumed one per pump; empty queue means "empty"
    int quit_code = 0;                    // the status of every system quit
    std::deque<int> posted_codes;         // consumed one per posted quit; none left means 0
    bool register_fails = false;
    bool open_fails = false;
    std::string data_folder; // what platform_data_folder answers
    std::vector<std::string> log;
    std::vector<Frame> frames;
    PlatformWindow window{7};
};

Script script;

void reset() {
    script = Script{};
}

std::vector<std::string> without(const std::vector<std::string>& log, const std::string& entry) {
    std::vector<std::string> kept;
    for (const auto& line : log) {
        if (line != entry) {
            kept.push_back(line);
        }
    }
    return kept;
}

} // namespace

// The platform, scripted.
PlatformStartup platform_startup() {
    return PlatformStartup{nullptr, 0};
}

bool platform_register_class(const PlatformStartup&, std::string* error) {
    script.log.push_back("register");
    if (script.register_fails) {
        *error = "cannot register the window class: no room";
        return false;
    }
    return true;
}

PlatformWindow* platform_open_window(const PlatformStartup& startup, const DisplayMode& mode,
                                     std::string* error) {
    script.log.push_back("open " + std::to_string(mode.width) + "x" + std::to_string(mode.height) +
                         (startup.renderer == Renderer::portable ? " portable" : "") +
                         (startup.gentle ? " gentle" : ""));
    if (script.open_fails) {
        *error = "cannot open a window: no display";
        return nullptr;
    }
    return &script.window;
}

void platform_start_music(PlatformWindow* window, const char* file) {
    EXPECT_EQ(window, &script.window);
    script.log.push_back(std::string("music ") + file);
}

std::string platform_data_folder() {
    return script.data_folder;
}

long long platform_clock_ms() {
    script.log.push_back("clock");
    EXPECT_FALSE(script.clock_readings.empty()) << "the loop read the clock more than scripted";
    if (script.clock_readings.empty()) {
        return 1000000;
    }
    const long long reading = script.clock_readings.front();
    script.clock_readings.pop_front();
    return reading;
}

void platform_sleep_ms(unsigned milliseconds) {
    script.log.push_back("sleep " + std::to_string(milliseconds));
}

void platform_raise_window(PlatformWindow*) {
    script.log.push_back("raise");
}

PumpResult platform_pump_message(PlatformWindow*, int* quit_code) {
    if (script.messages.empty()) {
        script.log.push_back("pump empty");
        return PumpResult::empty;
    }
    const PumpResult result = script.messages.front();
    script.messages.pop_front();
    if (result == PumpResult::quit) {
        *quit_code = script.quit_code;
        script.log.push_back("pump quit");
    } else if (result == PumpResult::quit_posted) {
        *quit_code = script.posted_codes.empty() ? 0 : script.posted_codes.front();
        if (!script.posted_codes.empty()) {
            script.posted_codes.pop_front();
        }
        script.log.push_back("pump quit posted");
    } else {
        script.log.push_back(result == PumpResult::empty ? "pump empty" : "pump handled");
    }
    return result;
}

void platform_swap_buffers(PlatformWindow*) {
    script.log.push_back("swap");
}

void platform_close_window(PlatformWindow*) {
    script.log.push_back("close");
}

void platform_finish(PlatformWindow*) {
    script.log.push_back("finish");
}

// The frame, observed. Linking this definition keeps the real frame out of the test program.
void draw_frame(double t, float t_f, const DisplayMode& mode, DriftState& drift) {
    script.log.push_back("draw");
    script.frames.push_back(Frame{t, t_f, mode, &drift, drift});
    drift.fall_speed -= 1.0f; // lets the test see that one state is carried through
}

namespace {

constexpr DisplayMode mode_800 = {800, 600, false};

TEST(ShowLoop, StartsAndDrawsTheFirstFrameAtZeroBeforeReadingTheClock) {
    reset();
    script.clock_readings = {5000, 5020, 5041};
    script.messages = {PumpResult::empty, PumpResult::empty, PumpResult::quit};
    EXPECT_EQ(run_show_loop(&script.window, mode_800), 0);

    const std::vector<std::string> expected = {"sleep 10",   "music tarmelipolkka.wav",
                                               "clock",      "raise", // start
                                               "pump empty", "draw",
                                               "swap",       "clock",
                                               "sleep 10", // frame at 0
                                               "pump empty", "draw",
                                               "swap",       "clock",
                                               "sleep 10", // frame at the first reading
                                               "pump quit",  "close"};
    EXPECT_EQ(script.log, expected);
    ASSERT_EQ(script.frames.size(), 2u);
    EXPECT_EQ(script.frames[0].t, 0.0);
    EXPECT_EQ(script.frames[0].t_f, 0.0f);
    EXPECT_EQ(script.frames[0].mode.width, 800);
    EXPECT_EQ(script.frames[0].mode.height, 600);
    EXPECT_EQ(script.frames[1].t, 0.020);
    // One drift state, zero at the start, is carried from frame to frame.
    EXPECT_EQ(script.frames[0].drift, script.frames[1].drift);
    EXPECT_EQ(script.frames[0].drift_seen.fall_speed, 0.0f);
    EXPECT_EQ(script.frames[0].drift_seen.drift_x, 0.0f);
    EXPECT_EQ(script.frames[0].drift_seen.drift_y, 0.0f);
    EXPECT_EQ(script.frames[1].drift_seen.fall_speed, -1.0f);
}

// A posted quit (Esc, the close button) waits, as the system's own quit message does, until
// every message after it has been handled too; then the window closes without another frame.
TEST(ShowLoop, DrainsABurstOfMessagesBeforeTheNextFrameOrAPostedQuit) {
    reset();
    script.clock_readings = {0, 15};
    script.messages = {PumpResult::handled, PumpResult::handled,     PumpResult::handled,
                       PumpResult::empty,   PumpResult::handled,     PumpResult::quit_posted,
                       PumpResult::handled, PumpResult::quit_posted, PumpResult::empty};
    script.posted_codes = {0, 0};
    EXPECT_EQ(run_show_loop(&script.window, mode_800), 0);

    const std::vector<std::string> loop(script.log.begin() + 4, script.log.end());
    const std::vector<std::string> expected = {"pump handled", "pump handled",
                                               "pump handled", "pump empty",
                                               "draw",         "swap",
                                               "clock",        "sleep 10",
                                               "pump handled", "pump quit posted",
                                               "pump handled", "pump quit posted",
                                               "pump empty",   "close"};
    EXPECT_EQ(loop, expected);
}

TEST(ShowLoop, QuitReleasesTheWindowAndReturnsTheQuitCode) {
    reset();
    script.clock_readings = {0};
    script.messages = {PumpResult::quit};
    EXPECT_EQ(run_show_loop(&script.window, mode_800), 0);
    EXPECT_EQ(script.log.back(), "close");
    EXPECT_TRUE(script.frames.empty());

    reset();
    script.clock_readings = {0};
    script.messages = {PumpResult::quit};
    script.quit_code = 3;
    EXPECT_EQ(run_show_loop(&script.window, mode_800), 3);

    // A failure posted first (the web page's lost context) keeps its status over a later Esc.
    reset();
    script.clock_readings = {0};
    script.messages = {PumpResult::quit_posted, PumpResult::quit_posted, PumpResult::empty};
    script.posted_codes = {1, 0};
    EXPECT_EQ(run_show_loop(&script.window, mode_800), 1);
    EXPECT_EQ(script.log.back(), "close");
}

TEST(ShowLoop, EndsOnTheFirstReadingPast61SecondsAndNotAtExactly61) {
    reset();
    script.clock_readings = {250, 250 + 60999, 250 + 61000, 250 + 61001};
    EXPECT_EQ(run_show_loop(&script.window, mode_800), 0);

    ASSERT_EQ(script.frames.size(), 3u);
    EXPECT_EQ(script.frames[1].t, 60.999);
    EXPECT_EQ(script.frames[2].t, 61.0);
    EXPECT_EQ(script.frames[2].t_f, 61.0f);
    // The last reading still gets its pause, then the loop returns without drawing or closing.
    const std::vector<std::string> tail(script.log.end() - 4, script.log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"draw", "swap", "clock", "sleep 10"}));
    EXPECT_TRUE(script.clock_readings.empty());
}

TEST(ShowLoop, ReadingsBecomeSecondsInDoubleAndInSingle) {
    // Whole milliseconds since the start, divided in double; t_f is that quotient rounded to
    // single, not a second division in single.
    const long long start = 123456789;
    const std::vector<long long> elapsed = {1, 1600, 3200, 7001, 12345, 33333, 58001, 60999};
    reset();
    script.clock_readings.push_back(start);
    for (const long long e : elapsed) {
        script.clock_readings.push_back(start + e);
    }
    script.clock_readings.push_back(start + 61001);
    run_show_loop(&script.window, mode_800);

    ASSERT_EQ(script.frames.size(), elapsed.size() + 1);
    for (std::size_t i = 0; i < elapsed.size(); ++i) {
        const double q = static_cast<double>(elapsed[i]) / 1000.0;
        EXPECT_EQ(script.frames[i + 1].t, q) << elapsed[i];
        EXPECT_EQ(script.frames[i + 1].t_f, static_cast<float>(q)) << elapsed[i];
    }
    EXPECT_EQ(script.frames[5].t, 12.345);
}

class RunDemo : public ::testing::Test {
  protected:
    void SetUp() override {
        reset();
        // The menu reads one character: give it none, so the fallback mode is chosen.
        ASSERT_NE(std::freopen("/dev/null", "r", stdin), nullptr);
    }
};

TEST_F(RunDemo, RegistersAsksOpensRunsAndFinishes) {
    script.clock_readings = {0};
    script.messages = {PumpResult::quit};
    EXPECT_EQ(run_demo(nullptr, nullptr, "", 0), 0);
    const std::vector<std::string> expected = {
        "register",  "open 1920x1080", "sleep 10", "music tarmelipolkka.wav", "clock", "raise",
        "pump quit", "close",          "finish"};
    EXPECT_EQ(script.log, expected);

    // The renderer named on the command line is the one the window is opened with, gently
    // where asked.
    const std::pair<const char*, const char*> cases[] = {
        {"--renderer portable", "open 1920x1080 portable"},
        {"--renderer=portable", "open 1920x1080 portable"},
        {" --renderer\t portable ", "open 1920x1080 portable"},
        {"--gentle --renderer portable", "open 1920x1080 portable gentle"},
        {"--gentle", "open 1920x1080 gentle"}};
    for (const auto& [options, opened] : cases) {
        reset();
        script.clock_readings = {0};
        script.messages = {PumpResult::quit};
        EXPECT_EQ(run_demo(nullptr, nullptr, options, 0), 0);
        EXPECT_EQ(script.log[1], opened) << options;
    }
}

TEST_F(RunDemo, FinishesAfterTheShowEndsByTime) {
    script.clock_readings = {0, 61001};
    EXPECT_EQ(run_demo(nullptr, nullptr, "", 0), 0);
    EXPECT_EQ(without(script.log, "pump empty").back(), "finish");
    EXPECT_EQ(std::count(script.log.begin(), script.log.end(), "close"), 0);
}

TEST_F(RunDemo, BadOptionsEndTheShowWithTwoBeforeAnyMenuOrWindow) {
    const std::pair<const char*, const char*> cases[] = {
        {"--fast", "unknown option '--fast' (try --help)"},
        {"--renderer", "--renderer needs a value: gl11 or portable"},
        {"--renderer vulkan", "unknown renderer 'vulkan' (gl11 or portable)"},
        {"--renderer gl11 --renderer portable", "--renderer given twice"}};
    for (const auto& [options, reason] : cases) {
        reset();
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        EXPECT_EQ(run_demo(nullptr, nullptr, options, 0), 2) << options;
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "dadadazo: " + std::string(reason) + "\n");
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << options;
        EXPECT_TRUE(script.log.empty()) << options;
    }
    // --help prints the usage, naming the option, and shows nothing else.
    reset();
    testing::internal::CaptureStdout();
    EXPECT_EQ(run_demo(nullptr, nullptr, "--help", 0), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("--renderer gl11|portable"),
              std::string::npos);
    EXPECT_TRUE(script.log.empty());
}

TEST_F(RunDemo, FailuresToRegisterOrOpenAreReportedAndExitWithOne) {
    script.register_fails = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_demo(nullptr, nullptr, "", 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "dadadazo: cannot register the window class: no room\n");
    EXPECT_EQ(script.log, (std::vector<std::string>{"register"}));

    reset();
    script.open_fails = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(run_demo(nullptr, nullptr, "", 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "dadadazo: cannot open a window: no display\n");
    EXPECT_EQ(script.log, (std::vector<std::string>{"register", "open 1920x1080"}));
}

// Started from a folder without music, the show plays the installed copy in the data folder.
TEST(ShowLoop, PlaysTheInstalledMusicWhenTheWorkingFolderHasNone) {
    namespace fs = std::filesystem;
    const fs::path base = fs::temp_directory_path() / ("dadadazo-loop-" + std::to_string(getpid()));
    fs::remove_all(base);
    fs::create_directories(base / "empty");
    fs::create_directories(base / "share");
    std::ofstream(base / "share" / "tarmelipolkka.wav") << "RIFF";
    const fs::path was = fs::current_path();
    fs::current_path(base / "empty");

    reset();
    script.data_folder = (base / "share").string();
    script.clock_readings = {0, 20};
    script.messages = {PumpResult::empty, PumpResult::quit};
    EXPECT_EQ(run_show_loop(&script.window, mode_800), 0);
    EXPECT_EQ(script.log.at(1), "music " + (base / "share" / "tarmelipolkka.wav").string());

    fs::current_path(was);
    fs::remove_all(base);
}

} // namespace
