// The real program in a real window: each test starts its own virtual X server, runs the show
// binary with a typed menu choice, finds its window and ends it the way a user would.
#include "wav/wav_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <poll.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

// Xlib last: its macros (None, Bool, Status) would clash with the names above.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr char menu_text[] = "Paljonkos pannaan?: \n1 1920x1080 (Full Screen)\n"
                             "2 1280x720(Full Screen)\n3 800x600(Full Screen)\n"
                             "4 480x320(Full Screen)\n\n5 1920x1080(windowed)\n"
                             "6 1280x720(windowed)\n7 800x600(windowed)\n"
                             "8 480x320(windowed)\n";

// Where each of a process's threads is, as gdb sees it (for a show that hangs), or why not.
std::string thread_stacks(pid_t pid) {
    const std::string command = "timeout 60 gdb -p " + std::to_string(pid) +
                                " -batch -ex 'thread apply all bt 12' 2>&1 | grep -E '^(#|Thread)'";
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return "(gdb could not be started)";
    }
    std::string text;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
        text += buffer;
    }
    pclose(pipe);
    return text.empty() ? "(gdb saw no threads)" : text;
}

std::string read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// "%f." of a non-negative number: digits, a point, six digits and a full stop.
bool is_time_line(const std::string& line) {
    const auto point = line.find('.');
    if (point == 0 || point == std::string::npos || line.size() != point + 8 ||
        line.back() != '.') {
        return false;
    }
    for (std::size_t i = 0; i + 1 < line.size(); ++i) {
        if (i != point && (line[i] < '0' || line[i] > '9')) {
            return false;
        }
    }
    return true;
}

// A private X server: tests/lib/private_xvfb.sh, which keeps Xvfb on a free display for as long
// as its standard input stays open. That is `keep`, closed on exec, so no program the test
// starts holds the server; when the test ends, however it ends, the server goes with it.
struct XServer {
    pid_t script = -1;
    int keep = -1;
    std::string display;
};

XServer start_x_server() {
    XServer server;
    int to_script[2], from_script[2];
    if (pipe2(to_script, O_CLOEXEC) != 0) {
        return server;
    }
    if (pipe2(from_script, O_CLOEXEC) != 0) {
        close(to_script[0]);
        close(to_script[1]);
        return server;
    }
    server.script = fork();
    if (server.script == 0) {
        dup2(to_script[0], 0);
        dup2(from_script[1], 1);
        execlp("bash", "bash", XVFB_SCRIPT, "1920x1080x24", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(to_script[0]);
    close(from_script[1]);
    server.keep = to_script[1];
    // One line, ":N", and then the end of the script's output.
    char buffer[64];
    ssize_t got = 0;
    while (got < static_cast<ssize_t>(sizeof buffer) - 1) {
        const ssize_t n = read(from_script[0], buffer + got, sizeof buffer - 1 - got);
        if (n <= 0) {
            break;
        }
        got += n;
    }
    close(from_script[0]);
    server.display.assign(buffer, static_cast<std::size_t>(got));
    server.display.erase(std::min(server.display.find('\n'), server.display.size()));
    return server;
}

void stop_x_server(XServer& server) {
    if (server.keep >= 0) {
        close(server.keep);
        server.keep = -1;
    }
    if (server.script > 0) {
        waitpid(server.script, nullptr, 0);
        server.script = -1;
    }
}

struct Show {
    pid_t pid = -1;
    fs::path out;
    fs::path err;
    Clock::time_point started;
};

// A time line's reading (seconds, six decimals of a whole-millisecond clock) in milliseconds.
long long whole_ms(double seconds) {
    return std::llround(seconds * 1000.0);
}

long long in_ms(Clock::duration time) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(time).count();
}

// The longest time between two frames' clock readings, in seconds: what one frame took on this
// machine at this moment, drawing and the pause after it included.
double longest_frame(const std::vector<double>& times) {
    double longest = 0.0;
    for (std::size_t i = 1; i < times.size(); ++i) {
        longest = std::max(longest, times[i] - times[i - 1]);
    }
    return longest;
}

// Runs the show in `dir` with `input` typed on stdin (or stdin closed when `close_stdin`).
// Standard output goes to the file `out`, or to the terminal `console` where one is named.
Show start_show(const fs::path& dir, const std::string& input, bool close_stdin,
                const std::vector<std::string>& env = {},
                const std::vector<std::string>& options = {}, const char* console = nullptr) {
    Show show;
    show.out = dir / "stdout.txt";
    show.err = dir / "stderr.txt";
    show.started = Clock::now();
    int fds[2];
    if (pipe(fds) != 0) {
        return show;
    }
    show.pid = fork();
    if (show.pid == 0) {
        if (chdir(dir.c_str()) != 0) {
            _exit(126);
        }
        close(fds[1]);
        if (close_stdin) {
            close(fds[0]);
            close(0);
        } else {
            dup2(fds[0], 0);
            close(fds[0]);
        }
        const int out = console != nullptr
                            ? open(console, O_WRONLY | O_NOCTTY)
                            : open(show.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(show.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        for (const auto& setting : env) {
            putenv(const_cast<char*>(setting.c_str()));
        }
        std::vector<char*> argv = {const_cast<char*>(DADADAZO_BINARY)};
        for (const auto& option : options) {
            argv.push_back(const_cast<char*>(option.c_str()));
        }
        argv.push_back(nullptr);
        execv(DADADAZO_BINARY, argv.data());
        _exit(127);
    }
    close(fds[0]);
    if (!input.empty()) {
        EXPECT_EQ(write(fds[1], input.data(), input.size()), static_cast<ssize_t>(input.size()));
    }
    close(fds[1]);
    return show;
}

// Waits for the process to end; its exit status, or -1 when it did not end in time.
int wait_for_exit(pid_t pid, Clock::duration limit) {
    const auto deadline = Clock::now() + limit;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        if (Clock::now() >= deadline) {
            return -1;
        }
        std::this_thread::sleep_for(5ms);
    }
}

// A terminal for the show's standard output, as a console gives it: the show then writes each
// time line as the line ends, and a thread reads them as they come and notes when the first time
// line (the first line after the menu) arrived. The test holds the terminal open too, so nothing
// is lost before the show opens it; once the show has ended, finish() lets go of it and collects
// the rest.
class Console {
  public:
    Console() {
        master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) {
            return;
        }
        path_ = ptsname(master_);
        hold_ = open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios settings{};
        if (hold_ < 0 || tcgetattr(hold_, &settings) != 0) {
            return;
        }
        settings.c_oflag &= ~static_cast<tcflag_t>(OPOST); // "\n" stays "\n"
        tcsetattr(hold_, TCSANOW, &settings);
        reader_ = std::thread([this] { read_until_closed(); });
    }

    ~Console() {
        stop_ = true;
        finish();
        if (master_ >= 0) {
            close(master_);
        }
    }

    const char* path() const { return reader_.joinable() ? path_.c_str() : nullptr; }

    // Everything the show wrote; call once it has ended.
    std::string finish() {
        if (hold_ >= 0) {
            close(hold_);
            hold_ = -1;
        }
        if (reader_.joinable()) {
            reader_.join();
        }
        return text_;
    }

    // When the first time line arrived (the epoch when none did); valid after finish().
    Clock::time_point first_time_line_at() const { return first_line_; }

  private:
    // Until the terminal is closed on both sides (EIO), or stop_ when the test gave up.
    void read_until_closed() {
        const std::size_t menu_size = std::strlen(menu_text);
        pollfd ready{master_, POLLIN, 0};
        while (!stop_) {
            if (poll(&ready, 1, 50) <= 0) {
                continue;
            }
            char buffer[4096];
            const ssize_t got = read(master_, buffer, sizeof buffer);
            if (got <= 0) {
                return;
            }
            text_.append(buffer, static_cast<std::size_t>(got));
            if (first_line_ == Clock::time_point{} && text_.size() > menu_size &&
                text_.find('\n', menu_size) != std::string::npos) {
                first_line_ = Clock::now();
            }
        }
    }

    int master_ = -1;
    int hold_ = -1;
    std::string path_;
    std::string text_;
    Clock::time_point first_line_{};
    std::atomic<bool> stop_{false};
    std::thread reader_;
};

// The show's window can go while the test still asks about it; that is no error.
int ignore_x_error(Display*, XErrorEvent*) {
    return 0;
}

// The viewable window titled Dadadazo that process `pid` owns (_NET_WM_PID), found as the soak
// finds it, or 0. An earlier show's window can linger for a moment after that show has ended,
// so the owner matters.
Window find_show_window(pid_t pid) {
    const std::string command = "xdotool search --all --onlyvisible --pid " + std::to_string(pid) +
                                " --name '^Dadadazo$' 2>/dev/null";
    FILE* out = popen(command.c_str(), "r");
    if (out == nullptr) {
        return 0;
    }
    unsigned long window = 0, last = 0;
    while (std::fscanf(out, "%lu", &window) == 1) {
        last = window;
    }
    pclose(out);
    return last;
}

class ShowWindow : public ::testing::Test {
  protected:
    void SetUp() override {
        server_ = start_x_server();
        ASSERT_FALSE(server_.display.empty()) << "Xvfb did not start";
        setenv("DISPLAY", server_.display.c_str(), 1);
        XSetErrorHandler(ignore_x_error);
        display_ = XOpenDisplay(server_.display.c_str());
        ASSERT_NE(display_, nullptr);
        // On a desktop the window manager has made this atom known; SDL only uses it then.
        XInternAtom(display_, "_MOTIF_WM_HINTS", False);
        XSync(display_, False);
        dir_ = fs::temp_directory_path() /
               ("dadadazo-window-" + std::to_string(getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }

    void TearDown() override {
        if (show_.pid > 0 && wait_for_exit(show_.pid, 0ms) < 0) {
            kill(show_.pid, SIGKILL);
            waitpid(show_.pid, nullptr, 0);
        }
        if (display_ != nullptr) {
            XCloseDisplay(display_);
        }
        stop_x_server(server_);
        if (!HasFailure()) {
            fs::remove_all(dir_);
        }
    }

    // Polls for the show's mapped window, and notes how long it took to appear.
    Window wait_for_window() {
        const auto deadline = Clock::now() + 60s;
        while (Clock::now() < deadline) {
            const Window window = find_show_window(show_.pid);
            if (window != 0) {
                startup_ = Clock::now() - show_.started;
                return window;
            }
            if (wait_for_exit(show_.pid, 0ms) >= 0) {
                ADD_FAILURE() << "the show ended before its window appeared: "
                              << read_file(show_.err);
                return 0;
            }
            std::this_thread::sleep_for(50ms);
        }
        ADD_FAILURE() << "no window titled Dadadazo appeared within 60 s";
        return 0;
    }

    // How long to wait for something the show does within a frame or two (ending after Esc,
    // taking the mouse): far longer than that takes, and longer still when the machine is so busy
    // that the window was slow to appear.
    Clock::duration patience() const { return std::max<Clock::duration>(10s, 3 * startup_); }

    void expect_size(Window window, int width, int height) {
        XWindowAttributes attributes;
        ASSERT_TRUE(XGetWindowAttributes(display_, window, &attributes));
        EXPECT_EQ(attributes.width, width);
        EXPECT_EQ(attributes.height, height);
    }

    // xdotool presses the key through the server's test extension and releases it on the same
    // window. The show may close that window between the two: xdotool then fails on the release
    // (its status is not checked), and the server goes on holding Esc down for the next show on
    // it, which has been seen to draw nothing until Esc came again. So Esc is released once
    // more, on the server itself.
    void press_escape(Window window) {
        const std::string command = "xdotool key --window " + std::to_string(window) +
                                    " Escape 2>/dev/null; xdotool keyup Escape 2>/dev/null";
        [[maybe_unused]] const int ignored = std::system(command.c_str());
    }

    // Ends the show with Esc and returns its exit status. Where the show is still running well
    // after the key (patience()), Esc is pressed again (a busy virtual server has been seen to
    // lose a synthetic key); the test still fails, naming what happened.
    int escape_and_wait(Window window) {
        const auto wait = patience();
        for (int attempt = 1; attempt <= 3; ++attempt) {
            press_escape(window);
            const int status = wait_for_exit(show_.pid, wait);
            if (status >= 0) {
                EXPECT_EQ(attempt, 1)
                    << "the show ended only after Esc number " << attempt << ", each waited on for "
                    << in_ms(wait) << " ms; stderr: " << read_file(show_.err);
                return status;
            }
        }
        ADD_FAILURE() << "the show did not end on Esc (three presses, " << in_ms(wait)
                      << " ms apart); stderr: " << read_file(show_.err);
        return -1;
    }

    // How long after `since` the server stopped showing the window (destroyed or unmapped), or
    // nothing where it still showed it after `limit`.
    std::optional<Clock::duration> wait_until_closed(Window window, Clock::time_point since,
                                                     Clock::duration limit) {
        while (Clock::now() - since < limit) {
            XWindowAttributes attributes;
            if (XGetWindowAttributes(display_, window, &attributes) == 0 ||
                attributes.map_state != IsViewable) {
                return Clock::now() - since;
            }
            std::this_thread::sleep_for(5ms);
        }
        return std::nullopt;
    }

    // Asks the window to close the way a window manager does.
    void request_close(Window window) {
        XEvent event{};
        event.xclient.type = ClientMessage;
        event.xclient.window = window;
        event.xclient.message_type = XInternAtom(display_, "WM_PROTOCOLS", False);
        event.xclient.format = 32;
        event.xclient.data.l[0] =
            static_cast<long>(XInternAtom(display_, "WM_DELETE_WINDOW", False));
        event.xclient.data.l[1] = CurrentTime;
        XSendEvent(display_, window, False, NoEventMask, &event);
        XFlush(display_);
    }

    // The window class and, through the hints a window manager reads, whether the window is
    // decorated and whether it can be resized.
    void expect_window_kind(Window window, bool borderless, int width, int height) {
        XClassHint hint{};
        ASSERT_TRUE(XGetClassHint(display_, window, &hint));
        EXPECT_STREQ(hint.res_class, "Tarme");
        XFree(hint.res_name);
        XFree(hint.res_class);

        Atom type = 0;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        const Atom motif = XInternAtom(display_, "_MOTIF_WM_HINTS", False);
        XGetWindowProperty(display_, window, motif, 0, 5, False, AnyPropertyType, &type, &format,
                           &count, &after, &data);
        // flags, functions, decorations: decorations switched off means borderless.
        const bool no_decorations = data != nullptr && count >= 3 &&
                                    (reinterpret_cast<long*>(data)[0] & 2) != 0 &&
                                    reinterpret_cast<long*>(data)[2] == 0;
        if (data != nullptr) {
            XFree(data);
        }
        EXPECT_EQ(no_decorations, borderless);

        XSizeHints hints{};
        long supplied = 0;
        ASSERT_TRUE(XGetWMNormalHints(display_, window, &hints, &supplied));
        EXPECT_TRUE((hints.flags & PMinSize) && (hints.flags & PMaxSize));
        EXPECT_EQ(hints.min_width, width);
        EXPECT_EQ(hints.max_width, width);
        EXPECT_EQ(hints.min_height, height);
        EXPECT_EQ(hints.max_height, height);
    }

    // Whether the mouse is held by the show: another client's grab is refused. The show takes
    // the mouse once its window has the focus, so it is given a while.
    bool pointer_grabbed_by_another_client() {
        const auto deadline = Clock::now() + patience();
        while (Clock::now() < deadline) {
            const int result =
                XGrabPointer(display_, DefaultRootWindow(display_), False, ButtonPressMask,
                             GrabModeAsync, GrabModeAsync, 0, 0, CurrentTime);
            if (result == AlreadyGrabbed) {
                return true;
            }
            if (result == GrabSuccess) {
                XUngrabPointer(display_, CurrentTime);
                XFlush(display_);
            }
            std::this_thread::sleep_for(100ms);
        }
        return false;
    }

    // Waits until the window has the keyboard focus, which SDL takes itself a moment after the
    // window appears where no window manager gives it: a key typed before then can go missing.
    void wait_for_focus(Window window) {
        const auto limit = patience();
        const auto deadline = Clock::now() + limit;
        Window focus = 0;
        int revert = 0;
        while (Clock::now() < deadline) {
            XGetInputFocus(display_, &focus, &revert);
            if (focus == window) {
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        FAIL() << "the window (" << window << ") did not take the keyboard focus within "
               << in_ms(limit) << " ms; the focus was on " << focus;
    }

    // Waits until the window shows a drawn frame (lit pixels, the first frame's red grid) and
    // has the keyboard focus.
    void wait_for_drawing(Window window) {
        const auto started = Clock::now();
        const auto limit = std::max<Clock::duration>(30s, 10 * startup_);
        const auto deadline = started + limit;
        XWindowAttributes attributes;
        ASSERT_TRUE(XGetWindowAttributes(display_, window, &attributes));
        while (Clock::now() < deadline) {
            XImage* image = XGetImage(display_, window, 0, 0, attributes.width, attributes.height,
                                      AllPlanes, ZPixmap);
            int lit = 0;
            if (image != nullptr) {
                for (int y = 0; y < attributes.height; y += 2) {
                    for (int x = 0; x < attributes.width; x += 2) {
                        lit += (XGetPixel(image, x, y) & image->red_mask) != 0;
                    }
                }
                XDestroyImage(image);
            }
            if (lit > 50) {
                wait_for_focus(window);
                return;
            }
            std::this_thread::sleep_for(50ms);
        }
        FAIL() << "nothing was drawn in the window within " << in_ms(limit) << " ms (its window "
               << "took " << in_ms(startup_) << " ms to appear); stderr: " << read_file(show_.err)
               << "; the show's threads:\n"
               << thread_stacks(show_.pid);
    }

    // Lets the show draw for a while, so that frames with a moving clock are seen: `time`, or
    // as long as its window took to appear where that was longer (a busy machine).
    void let_it_run(Clock::duration time) {
        std::this_thread::sleep_for(std::max<Clock::duration>(time, startup_));
    }

    // Checks stdout: the exact menu, then one "%f." time line per frame starting at 0.
    std::vector<double> expect_menu_and_time_lines() {
        const std::string out = read_file(show_.out);
        EXPECT_EQ(out.substr(0, std::strlen(menu_text)), menu_text);
        std::istringstream lines(out.substr(std::min(out.size(), std::strlen(menu_text))));
        std::vector<double> times;
        std::string line;
        while (std::getline(lines, line)) {
            EXPECT_TRUE(is_time_line(line)) << '"' << line << '"';
            times.push_back(std::atof(line.c_str()));
        }
        EXPECT_FALSE(times.empty());
        if (!times.empty()) {
            EXPECT_EQ(out.substr(std::strlen(menu_text), 10), "0.000000.\n");
        }
        // The clock is whole milliseconds and every frame is followed by a 10 ms pause. Compared
        // as milliseconds: two six-decimal readings subtracted in double can fall a hair short.
        for (std::size_t i = 1; i < times.size(); ++i) {
            EXPECT_GE(whole_ms(times[i]) - whole_ms(times[i - 1]), 10)
                << "frame " << i << ": " << times[i - 1] << " s, then " << times[i] << " s";
        }
        return times;
    }

    Clock::duration startup_{}; // from starting the show to its window being mapped
    XServer server_;
    Display* display_ = nullptr;
    fs::path dir_;
    Show show_;
};

// With either renderer.
TEST_F(ShowWindow, EscapeEndsTheShowWithStatusZero) {
    for (const char* renderer : {"gl11", "portable"}) {
        SCOPED_TRACE(renderer);
        show_ = start_show(dir_, "7\n", false, {}, {"--renderer", renderer});
        const Window window = wait_for_window();
        ASSERT_NE(window, 0u);
        expect_size(window, 800, 600);
        expect_window_kind(window, false, 800, 600);
        wait_for_drawing(window);
        let_it_run(1500ms);

        press_escape(window);
        const auto pressed = Clock::now();
        const auto closed = wait_until_closed(window, pressed, patience());
        const int status = wait_for_exit(show_.pid, patience());
        if (status < 0) {
            ADD_FAILURE() << "still running " << in_ms(Clock::now() - pressed) << " ms after Esc";
        } else {
            EXPECT_EQ(status, 0) << "stderr: " << read_file(show_.err);
        }
        const std::vector<double> times = expect_menu_and_time_lines();
        // The first frame and at least two more with a moving clock (a busy machine draws few).
        EXPECT_GE(times.size(), 3u) << "frames drawn before Esc: " << times.size();
        ASSERT_TRUE(closed) << "the window was still shown " << in_ms(patience())
                            << " ms after Esc";
        // Esc is taken before the next frame is drawn, and the window closes at once. What comes
        // after (the sound, the driver and SDL shut down, and in this build the leak checker's
        // scan, whose time follows the machine's load) is not the show's to hurry. Allowed: the
        // frame under way and two more at the slowest frame time this run saw, twice the time the
        // show took to start here (closing is no more work than opening), and a second.
        const double frame_s = longest_frame(times);
        const auto allowed =
            1s + 2 * startup_ +
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(3 * frame_s));
        EXPECT_LT(*closed, allowed)
            << "the window closed " << in_ms(*closed) << " ms after Esc; allowed " << in_ms(allowed)
            << " ms (slowest frame " << frame_s * 1000 << " ms, window up after " << in_ms(startup_)
            << " ms)";
    }
}

// A driver that gives only core-profile desktop contexts (Mesa, told to) has no OpenGL 1.1 to
// offer: the show draws through the portable renderer and says so in one line.
TEST_F(ShowWindow, WithoutACompatibilityContextThePortableRendererDraws) {
    show_ = start_show(dir_, "8\n", false, {"MESA_GL_VERSION_OVERRIDE=3.3FC"});
    const Window window = wait_for_window();
    ASSERT_NE(window, 0u);
    wait_for_drawing(window);
    EXPECT_EQ(escape_and_wait(window), 0);
    const std::string err = read_file(show_.err);
    const std::string line = "dadadazo: no OpenGL 1.1 compatibility context (";
    EXPECT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(err.find(line), err.rfind(line)) << err;
    EXPECT_EQ(err.find("dadadazo: cannot"), std::string::npos) << err;
    expect_menu_and_time_lines();
}

TEST_F(ShowWindow, OtherKeysAreIgnoredAndClosingTheWindowEndsTheShow) {
    show_ = start_show(dir_, "8\n", false);
    const Window window = wait_for_window();
    ASSERT_NE(window, 0u);
    expect_size(window, 480, 320);
    wait_for_drawing(window);

    const std::string keys = "xdotool key --window " + std::to_string(window) + " a q Return space";
    ASSERT_EQ(std::system(keys.c_str()), 0);
    let_it_run(500ms);
    EXPECT_LT(wait_for_exit(show_.pid, 0ms), 0) << "a key other than Esc ended the show";

    request_close(window);
    const auto requested = Clock::now();
    EXPECT_EQ(wait_for_exit(show_.pid, patience()), 0)
        << "after " << in_ms(Clock::now() - requested) << " ms";
    expect_menu_and_time_lines();
}

TEST_F(ShowWindow, ClosedStdinOpensTheFallbackWindow) {
    show_ = start_show(dir_, "", true);
    const Window window = wait_for_window();
    ASSERT_NE(window, 0u);
    expect_size(window, 1920, 1080);
    wait_for_drawing(window);
    EXPECT_EQ(escape_and_wait(window), 0);
    expect_menu_and_time_lines();
}

TEST_F(ShowWindow, FullScreenModeIsABorderlessWindowOfTheModeSize) {
    show_ = start_show(dir_, "3\n", false);
    const Window window = wait_for_window();
    ASSERT_NE(window, 0u);
    expect_size(window, 800, 600);
    expect_window_kind(window, true, 800, 600);
    // The display keeps its resolution, and the show holds the mouse.
    EXPECT_EQ(DisplayWidth(display_, DefaultScreen(display_)), 1920);
    EXPECT_TRUE(pointer_grabbed_by_another_client())
        << "another client could still take the mouse " << in_ms(patience())
        << " ms after the window appeared";
    EXPECT_EQ(escape_and_wait(window), 0);
}

TEST_F(ShowWindow, LeftAloneTheShowEndsByItselfAfter61Seconds) {
    Console console;
    ASSERT_NE(console.path(), nullptr) << "no terminal for the show's output";
    const auto started = Clock::now();
    show_ = start_show(dir_, "8\n", false, {}, {}, console.path());
    ASSERT_NE(wait_for_window(), 0u);
    const auto limit = 61s + std::max<Clock::duration>(40s, 10 * startup_);
    EXPECT_EQ(wait_for_exit(show_.pid, limit), 0)
        << "still running " << in_ms(Clock::now() - started) << " ms after it was started";
    const auto ended = Clock::now();
    std::ofstream(show_.out, std::ios::binary) << console.finish();
    const std::vector<double> times = expect_menu_and_time_lines();
    ASSERT_GE(times.size(), 2u);
    // The clock starts before the first time line is written, and the show ends on the first
    // reading past 61 s, after the pause that follows it: more than 61 s from the first time line
    // to the exit. The last frame drawn had a reading of at most 61 s; how long before 61 s it
    // lies depends on how long its frame took, which no time line shows.
    const auto ran = ended - console.first_time_line_at();
    EXPECT_GE(ran, 61s) << "from the first time line to the exit: " << in_ms(ran)
                        << " ms; the last time line " << times.back() << " s, after "
                        << times.size() << " frames";
    EXPECT_LE(times.back(), 61.0);
}

// A WAV (44.1 kHz, 16-bit stereo) whose every sample differs from its neighbours, so any gap,
// repeat or reordering in playback shows up byte for byte; returns its sample bytes.
std::vector<unsigned char> write_test_wav(const fs::path& path, unsigned frames) {
    std::vector<std::int16_t> samples;
    std::uint32_t state = 12345;
    for (unsigned i = 0; i < frames * 2; ++i) {
        state = state * 1664525u + 1013904223u;
        samples.push_back(static_cast<std::int16_t>(state >> 16));
    }
    const std::vector<std::uint8_t> file = wav_file_bytes(samples, 44100, 2);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()),
               static_cast<std::streamsize>(file.size()));
    return {file.end() - static_cast<std::ptrdiff_t>(samples.size() * 2), file.end()};
}

TEST_F(ShowWindow, MusicPlaysTheFileFromItsStartLoopingWithoutGaps) {
    const std::vector<unsigned char> samples =
        write_test_wav(dir_ / "tarmelipolkka.wav", 44100 / 5);
    const fs::path played = dir_ / "played.raw";
    show_ = start_show(dir_, "8\n", false,
                       {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + played.string()});
    const Window window = wait_for_window();
    ASSERT_NE(window, 0u);
    // The sound device writes at the pace of playback: wait until the file has gone round more
    // than twice, however long a busy machine takes to get there.
    const auto deadline = Clock::now() + std::max<Clock::duration>(60s, 10 * startup_);
    const auto played_bytes = [&] {
        std::error_code none_yet;
        const auto size = fs::file_size(played, none_yet);
        return none_yet ? 0 : size;
    };
    while (played_bytes() <= 3 * samples.size() && Clock::now() < deadline &&
           wait_for_exit(show_.pid, 0ms) < 0) {
        std::this_thread::sleep_for(100ms);
    }
    EXPECT_EQ(escape_and_wait(window), 0);

    // SDL's audio thread writes silence while the device is opened and not yet started; on a
    // busy machine a buffer or two of it reach the file before the music does. The music itself
    // must then follow from its first byte, without a gap.
    const std::string played_file = read_file(played);
    std::size_t lead_in = 0;
    while (lead_in + 4 <= played_file.size() &&
           played_file.compare(lead_in, 4, std::string(4, '\0')) == 0) {
        lead_in += 4;
    }
    const std::string bytes = played_file.substr(lead_in);
    EXPECT_GT(bytes.size(), 2 * samples.size())
        << "the file did not loop (" << played_file.size() << " bytes played, " << lead_in
        << " of them silence before the music)";
    std::size_t mismatches = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        mismatches += static_cast<unsigned char>(bytes[i]) != samples[i % samples.size()];
    }
    EXPECT_EQ(mismatches, 0u) << "after " << lead_in << " bytes of silence";
    // SDL itself warns that the disk driver is in use; the show has nothing to say.
    EXPECT_EQ(read_file(show_.err).find("dadadazo:"), std::string::npos);
}

TEST_F(ShowWindow, AMissingOrBrokenMusicFileLeavesASilentShowAndOneLine) {
    show_ = start_show(dir_, "8\n", false,
                       {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + (dir_ / "x.raw").string()});
    Window window = wait_for_window();
    ASSERT_NE(window, 0u);
    wait_for_drawing(window);
    EXPECT_EQ(escape_and_wait(window), 0);
    std::string err = read_file(show_.err);
    EXPECT_EQ(err.rfind("dadadazo: playing without sound: tarmelipolkka.wav: ", 0), 0u) << err;
    // The reason is the file's: that it could not be opened (SDL's words).
    EXPECT_NE(err.find("open"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    expect_menu_and_time_lines();

    const char broken[] = "RIFF\x10\0\0\0WAVEjunk";
    std::ofstream(dir_ / "tarmelipolkka.wav", std::ios::binary).write(broken, sizeof broken - 1);
    show_ = start_show(dir_, "8\n", false,
                       {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + (dir_ / "y.raw").string()});
    window = wait_for_window();
    ASSERT_NE(window, 0u);
    wait_for_drawing(window);
    EXPECT_EQ(escape_and_wait(window), 0);
    err = read_file(show_.err);
    EXPECT_EQ(err.rfind("dadadazo: playing without sound: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

// Without any display the show says so and fails instead of running unseen.
TEST(NoDisplay, TheShowExitsWithOneLineAndStatusOne) {
    const fs::path dir =
        fs::temp_directory_path() / ("dadadazo-nodisplay-" + std::to_string(getpid()));
    fs::create_directories(dir);
    unsetenv("DISPLAY");
    unsetenv("WAYLAND_DISPLAY");
    unsetenv("SDL_VIDEODRIVER");
    const Show show = start_show(dir, "7\n", false);
    EXPECT_EQ(wait_for_exit(show.pid, 30s), 1);
    const std::string err = read_file(show.err);
    EXPECT_EQ(err.rfind("dadadazo: cannot open a window: ", 0), 0u) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    fs::remove_all(dir);
}

} // namespace
