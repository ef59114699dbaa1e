#include "tests/lib/pixel_match.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

bool PixelComparison::within(const PixelTolerance& tolerance) const {
    const double share = pixels == 0 ? 1.0 : static_cast<double>(same) / pixels;
    const double lit_share = lit == 0 ? 1.0 : static_cast<double>(lit_same) / lit;
    return share >= tolerance.share_same && lit_share >= tolerance.share_lit_same;
}

std::string PixelComparison::summary() const {
    std::ostringstream text;
    text << pixels - same << " of " << pixels << " pixels differ (" << lit - lit_same << " of the "
         << lit << " lit ones)";
    if (first_x >= 0) {
        text << ", first at " << first_x << "," << first_y << " (top row 0), all within x " << left
             << " to " << right << ", y " << top << " to " << bottom;
    }
    return text.str();
}

PixelComparison compare_pixels(int width, int height, const std::vector<std::uint8_t>& expected,
                               const std::vector<std::uint8_t>& actual, int channel_tolerance) {
    PixelComparison c;
    c.width = width;
    c.height = height;
    c.pixels = static_cast<long long>(width) * height;
    c.left = width;
    c.top = height;
    c.difference.resize(expected.size());
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
            int worst = 0;
            bool lit_expected = false, lit_actual = false;
            for (std::size_t k = 0; k < 3; ++k) {
                worst = std::max(worst, std::abs(expected[i + k] - actual[i + k]));
                lit_expected = lit_expected || expected[i + k] != 0;
                lit_actual = lit_actual || actual[i + k] != 0;
            }
            const bool differs = worst > channel_tolerance;
            const bool lit = lit_expected || lit_actual;
            c.lit_expected += lit_expected ? 1 : 0;
            c.lit_actual += lit_actual ? 1 : 0;
            c.same += differs ? 0 : 1;
            c.lit += lit ? 1 : 0;
            c.lit_same += lit && !differs ? 1 : 0;
            if (differs) {
                if (c.first_x < 0) {
                    c.first_x = x;
                    c.first_y = y;
                }
                c.left = std::min(c.left, x);
                c.top = std::min(c.top, y);
                c.right = std::max(c.right, x);
                c.bottom = std::max(c.bottom, y);
            }
            for (std::size_t k = 0; k < 3; ++k) {
                c.difference[i + k] =
                    differs ? 255 : static_cast<std::uint8_t>(expected[i + k] / 4);
            }
        }
    }
    return c;
}

std::string compare_png_files(const std::string& expected_png, const std::string& actual_png,
                              const PixelTolerance& tolerance, const std::string& difference_png,
                              PixelComparison* comparison) {
    int ew = 0, eh = 0, aw = 0, ah = 0;
    std::vector<std::uint8_t> expected, actual;
    std::string error;
    if (!read_png(expected_png, &ew, &eh, expected, &error) ||
        !read_png(actual_png, &aw, &ah, actual, &error)) {
        return error;
    }
    if (ew != aw || eh != ah) {
        std::ostringstream text;
        text << actual_png << " is " << aw << "x" << ah << ", " << expected_png << " " << ew << "x"
             << eh;
        return text.str();
    }
    PixelComparison c = compare_pixels(ew, eh, expected, actual, tolerance.channel);
    std::string verdict;
    if (!c.within(tolerance)) {
        verdict = c.summary() + "; difference image in " + difference_png;
        if (!write_png(difference_png, ew, eh, c.difference, &error)) {
            verdict = c.summary() + "; " + error;
        }
    }
    if (comparison != nullptr) {
        *comparison = std::move(c);
    }
    return verdict;
}
