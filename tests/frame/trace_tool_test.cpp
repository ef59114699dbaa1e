// The tracer as a user runs it: arguments in, call lines out.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TraceRun {
    int status;
    std::vector<std::string> out;
    std::string err;
};

TraceRun run_trace(const std::string& arguments) {
    // One file per process: ctest runs the tests of this program side by side.
    const std::string err_path =
        testing::TempDir() + "trace_tool_test_stderr_" + std::to_string(getpid()) + ".txt";
    const std::string command =
        std::string(DADADAZO_TRACE_PATH) + " " + arguments + " 2>" + err_path;
    TraceRun run{};
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        ADD_FAILURE() << "cannot start " << command;
        return run;
    }
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
        text.append(buffer, got);
    }
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        run.out.push_back(line);
    }
    std::ifstream err(err_path);
    run.err.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    std::remove(err_path.c_str());
    return run;
}

TEST(TraceTool, PrintsCallsAndTimeLinesInCallOrder) {
    const TraceRun run = run_trace("--mode 7 8001");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty());
    ASSERT_GE(run.out.size(), 12u);
    const std::vector<std::string> head(run.out.begin(), run.out.begin() + 12);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "glClear GL_COLOR_BUFFER_BIT", "glPushMatrix", "glPointSize 10",
                        "glEnable GL_POINT_SMOOTH", "glScaled 0.75 1 0",
                        "glRotatef 320.040009 1 0 1", "8.001000.", "glColor3f 1 0 0",
                        "glLineWidth 2", "glColor3f 0.245107949 -0.515565753 0.0463890471",
                        "glBegin GL_LINES", "glVertex2d -0.65326513792627394 4"}));
    EXPECT_EQ(run.out.back(), "glPopMatrix");
    EXPECT_EQ(run.out.size(), 10u + 360 * 4 + 1); // set-up, 360 segments, glPopMatrix

    const TraceRun fallback = run_trace("0");
    ASSERT_EQ(fallback.status, 0);
    EXPECT_EQ(fallback.out[4], "glScaled 0.5625 1 0");
    EXPECT_EQ(fallback.out[9], "glVertex2d -0.9801330678164959 -0.97999999999999998");
}

TEST(TraceTool, RangesDrawFramesInOrderWithOneDrift) {
    const TraceRun run = run_trace("7990:5:8010 7500 7500");
    ASSERT_EQ(run.status, 0) << run.err;
    std::vector<std::string> times;
    std::vector<std::size_t> frame_starts;
    for (std::size_t index = 0; index < run.out.size(); ++index) {
        if (run.out[index].back() == '.') {
            times.push_back(run.out[index]);
        }
        if (run.out[index] == "glClear GL_COLOR_BUFFER_BIT") {
            frame_starts.push_back(index);
        }
    }
    EXPECT_EQ(times, (std::vector<std::string>{"7.990000.", "7.995000.", "8.000000.", "8.005000.",
                                               "8.010000.", "7.500000.", "7.500000."}));
    ASSERT_EQ(frame_starts.size(), 7u);
    // The same reading twice, but the drift has moved on: the grid is lower the second time.
    const std::vector<std::string> first(run.out.begin() + frame_starts[5],
                                         run.out.begin() + frame_starts[6]);
    const std::vector<std::string> second(run.out.begin() + frame_starts[6], run.out.end());
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first, second);
}

TEST(TraceTool, BadArgumentsGiveOneUsageLineAndNothingElse) {
    for (const char* arguments : {"", "abc", "100001", "-5", "9000:10:8000", "1:0:5", "--bogus 0",
                                  "--mode 9 0", "--mode", "0 --mode x", "0 1:2"}) {
        const TraceRun run = run_trace(arguments);
        EXPECT_EQ(run.status, 2) << '"' << arguments << '"';
        EXPECT_TRUE(run.out.empty()) << arguments;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << arguments;
        EXPECT_EQ(run.err.rfind("usage: dadadazo-trace", 0), 0u) << arguments;
    }
}

} // namespace
