// dadadazo-trace [--mode DIGIT] READING...
//
// Draws the frames of the given clock readings, in order and with one drift carried from frame
// to frame as the show loop carries it, and prints every GL call as one line on stdout, between
// the time lines the frames print themselves.
#include "gl/record/gl_record.h"
#include "tools/readings/frame_run.h"
#include "tools/readings/readings.h"

#include <cstdio>
#include <string>
#include <vector>

namespace {

int fail_usage(const std::string& why) {
    const std::string usage =
        "usage: dadadazo-trace [--mode DIGIT] READING... (READING: milliseconds " +
        reading_range_text() + ", or A:S:B)";
    std::fprintf(stderr, "%s: %s\n", usage.c_str(), why.c_str());
    return 2;
}

// The frame's own time lines go through stdio, so the call lines do too: one stream, one order.
void print_call(const GlCall& call, void*) {
    const std::string line = format_gl_call(call);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::putchar('\n');
}

} // namespace

int main(int argc, char** argv) {
    DisplayMode mode = fallback_mode;
    std::vector<long long> readings;
    std::string error;
    for (int index = 1; index < argc; ++index) {
        const std::string word = argv[index];
        if (word == "--mode") {
            if (index + 1 >= argc) {
                return fail_usage("--mode needs a digit");
            }
            if (!parse_mode_digit(argv[++index], &mode, &error)) {
                return fail_usage(error);
            }
        } else if (!word.empty() && word[0] == '-') {
            return fail_usage("unknown option \"" + word + "\"");
        } else if (!parse_readings(word, readings, &error)) {
            return fail_usage(error);
        }
    }
    if (readings.empty()) {
        return fail_usage("no reading given");
    }

    static char buffer[1 << 16];
    std::setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
    gl_record_to(print_call, nullptr);
    DriftState drift{0.0f, 0.0f, 0.0f};
    draw_readings(readings, mode, drift);
    gl_record_to(nullptr, nullptr);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "dadadazo-trace: cannot write the trace\n");
        return 1;
    }
    return 0;
}
