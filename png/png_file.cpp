#include "png/png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <unistd.h>

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

// The encoding itself, apart from the file handling. Kept free of C++ objects with destructors
// because libpng leaves it by longjmp.
bool encode(std::FILE* file, int width, int height, const std::uint8_t* rgb, PngErrorSink* sink) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, sink, on_png_error, on_png_warning);
    if (png == nullptr) {
        std::snprintf(sink->message, sizeof sink->message, "out of memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (info == nullptr || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    // Frames are mostly black: fast deflate with the Sub filter keeps them small and quick.
    png_set_compression_level(png, 1);
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_BASE,
                 PNG_FILTER_TYPE_BASE);
    png_write_info(png, info);
    const std::size_t row = static_cast<std::size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        png_write_row(png, rgb + row * static_cast<std::size_t>(y));
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

// The decoding itself, apart from the file handling. Kept free of C++ objects with destructors
// because libpng leaves it by longjmp.
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

bool write_png(const std::string& path, int width, int height, const std::vector<std::uint8_t>& rgb,
               std::string* error) {
    if (width <= 0 || height <= 0 ||
        rgb.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
        *error = "cannot write " + path + ": the image has the wrong size";
        return false;
    }
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string temporary = folder + "." + name + "." + std::to_string(getpid()) + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (file == nullptr) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    PngErrorSink sink{};
    bool written = encode(file, width, height, rgb.data(), &sink);
    if (!written) {
        *error = "cannot write " + path + ": " + sink.message;
    }
    if (std::fflush(file) != 0 || std::ferror(file)) {
        if (written) {
            *error = "cannot write " + path + ": " + std::strerror(errno);
        }
        written = false;
    }
    if (std::fclose(file) != 0 && written) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        written = false;
    }
    if (written && std::rename(temporary.c_str(), path.c_str()) != 0) {
        *error = "cannot write " + path + ": " + std::strerror(errno);
        written = false;
    }
    if (!written) {
        std::remove(temporary.c_str());
    }
    return written;
}

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
