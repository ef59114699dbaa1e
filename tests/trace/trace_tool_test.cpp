// The tracer as a user runs it: arguments in, call lines out.
#include "tests/lib/program_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

ProgramRun run_trace(const std::string& arguments) {
    return run_program(std::string("'") + DADADAZO_TRACE_PATH + "' " + arguments);
}

TEST(TraceTool, PrintsCallsAndTimeLinesInCallOrder) {
    const ProgramRun run = run_trace("--mode 7 8001");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_TRUE(run.err.empty());
    const std::vector<std::string> out = run.out_lines();
    ASSERT_GE(out.size(), 12u);
    const std::vector<std::string> head(out.begin(), out.begin() + 12);
    EXPECT_EQ(head, (std::vector<std::string>{
                        "glClear GL_COLOR_BUFFER_BIT", "glPushMatrix", "glPointSize 10",
                        "glEnable GL_POINT_SMOOTH", "glScaled 0.75 1 0",
                        "glRotatef 320.040009 1 0 1", "8.001000.", "glColor3f 1 0 0",
                        "glLineWidth 2", "glColor3f 0.245107949 -0.515565753 0.0463890471",
                        "glBegin GL_LINES", "glVertex2d -0.65326513792627394 4"}));
    EXPECT_EQ(out.back(), "glPopMatrix");
    EXPECT_EQ(out.size(), 10u + 360 * 4 + 1); // set-up, 360 segments, glPopMatrix

    const ProgramRun fallback = run_trace("0");
    ASSERT_EQ(fallback.status, 0);
    const std::vector<std::string> fallback_out = fallback.out_lines();
    ASSERT_GE(fallback_out.size(), 10u);
    EXPECT_EQ(fallback_out[4], "glScaled 0.5625 1 0");
    EXPECT_EQ(fallback_out[9], "glVertex2d -0.9801330678164959 -0.97999999999999998");
}

TEST(TraceTool, RangesDrawFramesInOrderWithOneDrift) {
    const ProgramRun run = run_trace("7990:5:8010 7500 7500");
    ASSERT_EQ(run.status, 0) << run.err;
    const std::vector<std::string> out = run.out_lines();
    std::vector<std::string> times;
    std::vector<std::size_t> frame_starts;
    for (std::size_t index = 0; index < out.size(); ++index) {
        if (out[index].back() == '.') {
            times.push_back(out[index]);
        }
        if (out[index] == "glClear GL_COLOR_BUFFER_BIT") {
            frame_starts.push_back(index);
        }
    }
    EXPECT_EQ(times, (std::vector<std::string>{"7.990000.", "7.995000.", "8.000000.", "8.005000.",
                                               "8.010000.", "7.500000.", "7.500000."}));
    ASSERT_EQ(frame_starts.size(), 7u);
    // The same reading twice, but the drift has moved on: the grid is lower the second time.
    const std::vector<std::string> first(out.begin() + frame_starts[5],
                                         out.begin() + frame_starts[6]);
    const std::vector<std::string> second(out.begin() + frame_starts[6], out.end());
    ASSERT_EQ(first.size(), second.size());
    EXPECT_NE(first, second);
}

TEST(TraceTool, BadArgumentsGiveOneUsageLineAndNothingElse) {
    for (const char* arguments : {"", "abc", "100001", "-5", "9000:10:8000", "1:0:5", "--bogus 0",
                                  "--mode 9 0", "--mode", "0 --mode x", "0 1:2"}) {
        const ProgramRun run = run_trace(arguments);
        EXPECT_EQ(run.status, 2) << '"' << arguments << '"';
        EXPECT_TRUE(run.out.empty()) << arguments;
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << arguments;
        EXPECT_EQ(run.err.rfind("usage: dadadazo-trace", 0), 0u) << arguments;
    }
}

} // namespace
