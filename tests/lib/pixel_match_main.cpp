// pixel_match: two PNG files compared as the C++ tests compare frames, for tests in other
// languages.
//
//   pixel_match EXPECTED.png ACTUAL.png [--channel N] [--same SHARE] [--lit-same SHARE]
//               [--difference FILE.png]
//
// The tolerance as in pixel_match.h: a pixel is the same when every channel is within N (default
// 0); they match when at least SHARE of all pixels (default 1) and of the pixels lit in either
// image (default 0) are the same.
// Prints one line of JSON:
//   {"width":W,"height":H,"pixels":N,"same":N,"lit":N,"litSame":N,"litExpected":N,"litActual":N,
//    "first":null or {"x":X,"y":Y,"expected":[R,G,B],"actual":[R,G,B]},"match":true or false}
// pixels: W * H; same: pixels within the channel tolerance; lit: pixels not black in either
// image, litSame: those of them that are the same; litExpected, litActual: not black in each;
// first: the first pixel that differs, top row first.
// Exit status 0 when they match, 1 when they do not (the summary on stderr, and the difference
// image written where --difference names a file), 2 for bad arguments, files that cannot be
// read, or images of different sizes.
#include "png/png_file.h"
#include "tests/lib/pixel_match.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int usage() {
    std::fprintf(stderr, "usage: pixel_match EXPECTED.png ACTUAL.png [--channel N] [--same SHARE]"
                         " [--lit-same SHARE] [--difference FILE.png]\n");
    return 2;
}

// Reads the options after the two files; false on anything it does not know.
bool parse_options(int argc, char** argv, PixelTolerance* tolerance, std::string* difference) {
    for (int i = 3; i < argc; i += 2) {
        const std::string name = argv[i];
        if (i + 1 >= argc) {
            return false;
        }
        char* end = nullptr;
        const double value = std::strtod(argv[i + 1], &end);
        const bool number = *end == '\0' && end != argv[i + 1];
        if (name == "--channel" && number && value >= 0 && value <= 255) {
            tolerance->channel = static_cast<int>(value);
        } else if (name == "--same" && number && value >= 0 && value <= 1) {
            tolerance->share_same = value;
        } else if (name == "--lit-same" && number && value >= 0 && value <= 1) {
            tolerance->share_lit_same = value;
        } else if (name == "--difference") {
            *difference = argv[i + 1];
        } else {
            return false;
        }
    }
    return true;
}

void print_rgb(const std::vector<std::uint8_t>& rgb, std::size_t at) {
    std::printf("[%d,%d,%d]", rgb[at], rgb[at + 1], rgb[at + 2]);
}

} // namespace

int main(int argc, char** argv) {
    PixelTolerance tolerance;
    std::string difference;
    if (argc < 3 || !parse_options(argc, argv, &tolerance, &difference)) {
        return usage();
    }
    int ew = 0, eh = 0, aw = 0, ah = 0;
    std::vector<std::uint8_t> expected, actual;
    std::string error;
    if (!read_png(argv[1], &ew, &eh, expected, &error) ||
        !read_png(argv[2], &aw, &ah, actual, &error)) {
        std::fprintf(stderr, "pixel_match: %s\n", error.c_str());
        return 2;
    }
    if (ew != aw || eh != ah) {
        std::fprintf(stderr, "pixel_match: %s is %dx%d, %s %dx%d\n", argv[1], ew, eh, argv[2], aw,
                     ah);
        return 2;
    }
    const PixelComparison c = compare_pixels(ew, eh, expected, actual, tolerance.channel);
    const bool match = c.within(tolerance);
    std::printf("{\"width\":%d,\"height\":%d,\"pixels\":%lld,\"same\":%lld,\"lit\":%lld,"
                "\"litSame\":%lld,\"litExpected\":%lld,\"litActual\":%lld,\"first\":",
                c.width, c.height, c.pixels, c.same, c.lit, c.lit_same, c.lit_expected,
                c.lit_actual);
    if (c.first_x < 0) {
        std::printf("null");
    } else {
        const std::size_t at = (static_cast<std::size_t>(c.first_y) * c.width + c.first_x) * 3;
        std::printf("{\"x\":%d,\"y\":%d,\"expected\":", c.first_x, c.first_y);
        print_rgb(expected, at);
        std::printf(",\"actual\":");
        print_rgb(actual, at);
        std::printf("}");
    }
    std::printf(",\"match\":%s}\n", match ? "true" : "false");
    if (!match) {
        std::fprintf(stderr, "pixel_match: %s\n", c.summary().c_str());
        if (!difference.empty() &&
            !write_png(difference, c.width, c.height, c.difference, &error)) {
            std::fprintf(stderr, "pixel_match: %s\n", error.c_str());
        }
    }
    return match ? 0 : 1;
}
