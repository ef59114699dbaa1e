#include "app/menu.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

constexpr char expected_menu[] = "Paljonkos pannaan?: \n1 1920x1080 (Full Screen)\n"
                                 "2 1280x720(Full Screen)\n3 800x600(Full Screen)\n"
                                 "4 480x320(Full Screen)\n\n5 1920x1080(windowed)\n"
                                 "6 1280x720(windowed)\n7 800x600(windowed)\n"
                                 "8 480x320(windowed)\n";

void expect_mode(const DisplayMode& mode, int width, int height, bool full_screen,
                 const std::string& what) {
    EXPECT_EQ(mode.width, width) << what;
    EXPECT_EQ(mode.height, height) << what;
    EXPECT_EQ(mode.full_screen, full_screen) << what;
}

TEST(Menu, EachDigitPicksItsRow) {
    expect_mode(mode_for_key('1'), 1920, 1080, true, "1");
    expect_mode(mode_for_key('2'), 1280, 720, true, "2");
    expect_mode(mode_for_key('3'), 800, 600, true, "3");
    expect_mode(mode_for_key('4'), 480, 320, true, "4");
    expect_mode(mode_for_key('5'), 1920, 1080, false, "5");
    expect_mode(mode_for_key('6'), 1280, 720, false, "6");
    expect_mode(mode_for_key('7'), 800, 600, false, "7");
    expect_mode(mode_for_key('8'), 480, 320, false, "8");
}

TEST(Menu, EverythingElseFallsBackTo1920x1080Windowed) {
    for (int key = -1; key <= 255; ++key) {
        if (key >= '1' && key <= '8') {
            continue;
        }
        expect_mode(mode_for_key(key), 1920, 1080, false, std::to_string(key));
    }
}

// choose_mode with `input` on stdin: the mode, what it printed, and the next unread character.
struct MenuRun {
    DisplayMode mode;
    std::string printed;
    int next;
};

MenuRun run_menu(const std::string& input) {
    std::FILE* file = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), file);
    std::fflush(file);
    std::string path = "/proc/self/fd/" + std::to_string(fileno(file));
    EXPECT_NE(std::freopen(path.c_str(), "r", stdin), nullptr);
    testing::internal::CaptureStdout();
    const DisplayMode mode = choose_mode();
    std::string printed = testing::internal::GetCapturedStdout();
    const int next = std::getchar();
    std::fclose(file);
    return MenuRun{mode, printed, next};
}

TEST(Menu, PrintsTheMenuAndReadsExactlyOneCharacter) {
    MenuRun run = run_menu("3\n");
    EXPECT_EQ(run.printed, expected_menu);
    expect_mode(run.mode, 800, 600, true, "3 Enter");
    EXPECT_EQ(run.next, '\n');

    run = run_menu("12");
    expect_mode(run.mode, 1920, 1080, true, "12");
    EXPECT_EQ(run.next, '2');

    run = run_menu(" 5\n");
    expect_mode(run.mode, 1920, 1080, false, "blank 5");
    EXPECT_EQ(run.next, '5');

    run = run_menu("\n");
    expect_mode(run.mode, 1920, 1080, false, "empty line");

    run = run_menu("");
    EXPECT_EQ(run.printed, expected_menu);
    expect_mode(run.mode, 1920, 1080, false, "end of input");
    EXPECT_EQ(run.next, EOF);
}

} // namespace
