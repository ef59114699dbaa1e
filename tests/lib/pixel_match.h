// Two 8-bit RGB images (top row first) compared pixel by pixel, with a tolerance each test chooses:
// the tests comparing frames drawn by different renderers, or against golden images, share it.
#pragma once

#include "png/png_file.h"

#include <cstdint>
#include <string>
#include <vector>

// A pixel is the same when every channel is within `channel` of the other image's. The images
// match when at least `share_same` of all pixels are the same and, since most of a frame is
// black background, at least `share_lit_same` of the pixels lit in either image.
struct PixelTolerance {
    int channel = 0;
    double share_same = 1.0;
    double share_lit_same = 0.0;
};

struct PixelComparison {
    int width = 0;
    int height = 0;
    long long pixels = 0;
    long long same = 0;
    long long lit = 0;          // lit in either image
    long long lit_same = 0;     // of those, how many are the same
    long long lit_expected = 0; // lit in each image
    long long lit_actual = 0;
    int first_x = -1; // the first pixel that differs, top row first; -1 when none
    int first_y = -1;
    int left = 0; // bounding box of every pixel that differs
    int top = 0;
    int right = -1;
    int bottom = -1;
    std::vector<std::uint8_t> difference; // white where they differ, the expected image dimmed

    bool within(const PixelTolerance& tolerance) const;
    // "N of M pixels differ (K of the L lit ones)", and where, when any do.
    std::string summary() const;
};

// Both images are width * height * 3 bytes.
PixelComparison compare_pixels(int width, int height, const std::vector<std::uint8_t>& expected,
                               const std::vector<std::uint8_t>& actual, int channel_tolerance);

// Compares two PNG files. Empty when they match within `tolerance`; otherwise why not (a file
// that cannot be read, sizes that differ, or the summary), and where they do not match, the
// difference image is written to `difference_png`. `comparison`, when given, receives the
// comparison of same-sized images.
std::string compare_png_files(const std::string& expected_png, const std::string& actual_png,
                              const PixelTolerance& tolerance, const std::string& difference_png,
                              PixelComparison* comparison = nullptr);
