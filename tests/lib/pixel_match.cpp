#include "tests/lib/pixel_match.h"

#include "tools/capture/png_file.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace {

// libpng reports errors by longjmp; the message is kept for the caller.
struct PngErrorSink {
    char message[256];
};

void on_png_error(png_structp png, png_const_charp message) {
    auto* sink = static_cast<PngErrorSink*>(png_get_error_ptr(png));
    std::snprintf(sink->message, sizeof sink->message, "%s", message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp, png_const_charp) {}

// Kept free of C++ objects with destructors because libpng leaves it by longjmp.
bool decode(std::FILE* file, int* width, int* height, std::vector<std::uint8_t>* rgb,
            PngErrorSink* sink) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, sink, on_png_error, on_png_warning);
    if (png == nullptr) {
        std::snprintf(sink->message, sizeof sink->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_read_update_info(png, info);
    const png_uint_32 w = png_get_image_width(png, info);
    const png_uint_32 h = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != static_cast<std::size_t>(w) * 3) {
        std::snprintf(sink->message, sizeof sink->message, "unexpected row layout");
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    rgb->resize(static_cast<std::size_t>(w) * h * 3);
    for (png_uint_32 y = 0; y < h; ++y) {
        png_read_row(png, rgb->data() + static_cast<std::size_t>(w) * 3 * y, nullptr);
    }
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    *width = static_cast<int>(w);
    *height = static_cast<int>(h);
    return true;
}

} // namespace

bool read_png(const std::string& path, int* width, int* height, std::vector<std::uint8_t>& rgb,
              std::string* error) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        *error = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    PngErrorSink sink{};
    const bool read = decode(file, width, height, &rgb, &sink);
    std::fclose(file);
    if (!read) {
        *error = "cannot read " + path + ": " + sink.message;
    }
    return read;
}

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
