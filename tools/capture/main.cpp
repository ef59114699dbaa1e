// dadadazo-capture: any moment of the show, or the whole show, as PNGs or a video, rendered
// offscreen without a display.
#include "tools/capture/capture.h"
#include "tools/capture/capture_options.h"

#include <cstdio>

int main(int argc, char** argv) {
    CaptureOptions options{};
    std::string error;
    switch (parse_capture_options(argc, argv, &options, &error)) {
    case ParseOutcome::help:
        std::fputs(capture_usage(), stdout);
        return 0;
    case ParseOutcome::bad:
        std::fprintf(stderr, "dadadazo-capture: %s\n%s", error.c_str(), capture_usage());
        return 2;
    case ParseOutcome::run:
        break;
    }
    return run_capture(options);
}
