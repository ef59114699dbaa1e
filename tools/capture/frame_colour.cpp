#include "tools/capture/frame_colour.h"

#include <algorithm>
#include <cmath>

namespace {

// BT.709 luma weights and the limited-range scale: Y in 16..235, Cb and Cr in 16..240.
constexpr double kr = 0.2126;
constexpr double kg = 0.7152;
constexpr double kb = 0.0722;

// The formula in fixed point with 16 fractional bits, one table per plane and channel: a sample
// is the offset plus three looked-up terms. Chroma tables take the sum of four channel values
// (a 2x2 block, or one pixel four times), which keeps the mean exact.
struct FixedTables {
    std::int32_t y[3][256];
    std::int32_t cb[3][1021];
    std::int32_t cr[3][1021];
};

constexpr int fraction_bits = 16;
constexpr double one = 1 << fraction_bits;

FixedTables make_tables() {
    FixedTables t{};
    const double luma[3] = {kr, kg, kb};
    for (int c = 0; c < 3; ++c) {
        const double blue = (c == 2 ? 1.0 : 0.0) - luma[c];
        const double red = (c == 0 ? 1.0 : 0.0) - luma[c];
        for (int v = 0; v < 256; ++v) {
            t.y[c][v] = static_cast<std::int32_t>(std::lround(219.0 / 255.0 * luma[c] * v * one));
        }
        for (int sum = 0; sum < 1021; ++sum) {
            const double mean = sum / 4.0;
            t.cb[c][sum] = static_cast<std::int32_t>(
                std::lround(224.0 / 255.0 * blue * mean / (2.0 * (1.0 - kb)) * one));
            t.cr[c][sum] = static_cast<std::int32_t>(
                std::lround(224.0 / 255.0 * red * mean / (2.0 * (1.0 - kr)) * one));
        }
    }
    return t;
}

const FixedTables& fixed_tables() {
    static const FixedTables tables = make_tables();
    return tables;
}

// Rounds a fixed-point sample (offset `base` included) to a byte.
std::uint8_t byte_of(std::int32_t value) {
    const std::int32_t rounded = (value + (1 << (fraction_bits - 1))) >> fraction_bits;
    return static_cast<std::uint8_t>(std::clamp(rounded, 0, 255));
}

constexpr std::int32_t luma_base = 16 << fraction_bits;
constexpr std::int32_t chroma_base = 128 << fraction_bits;

} // namespace

std::size_t planar_frame_bytes(int width, int height, Chroma chroma) {
    const auto pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    return chroma == Chroma::yuv444 ? pixels * 3 : pixels + pixels / 2;
}

void rgba_to_planar(const std::uint8_t* rgba, int width, int height, Chroma chroma,
                    std::uint8_t* planar) {
    const FixedTables& t = fixed_tables();
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    const auto at = [&](std::size_t x, std::size_t row) {
        return rgba + ((h - 1 - row) * w + x) * 4;
    };
    const bool full = chroma == Chroma::yuv444;
    const std::size_t cw = full ? w : w / 2;
    const std::size_t ch = full ? h : h / 2;
    std::uint8_t* cb = planar + w * h;
    std::uint8_t* cr = cb + cw * ch;
    for (std::size_t row = 0; row < h; ++row) {
        for (std::size_t x = 0; x < w; ++x) {
            const std::uint8_t* p = at(x, row);
            planar[row * w + x] = byte_of(luma_base + t.y[0][p[0]] + t.y[1][p[1]] + t.y[2][p[2]]);
        }
    }
    // The colour of one pixel (4:4:4) or of the mean of a 2x2 block (4:2:0).
    for (std::size_t row = 0; row < ch; ++row) {
        for (std::size_t x = 0; x < cw; ++x) {
            int sum[3] = {0, 0, 0};
            for (std::size_t corner = 0; corner < 4; ++corner) {
                const std::uint8_t* p =
                    full ? at(x, row) : at(2 * x + (corner & 1), 2 * row + (corner >> 1));
                for (int c = 0; c < 3; ++c) {
                    sum[c] += p[c];
                }
            }
            cb[row * cw + x] =
                byte_of(chroma_base + t.cb[0][sum[0]] + t.cb[1][sum[1]] + t.cb[2][sum[2]]);
            cr[row * cw + x] =
                byte_of(chroma_base + t.cr[0][sum[0]] + t.cr[1][sum[1]] + t.cr[2][sum[2]]);
        }
    }
}

void rgba_to_rgb_rows(const std::uint8_t* rgba, int width, int height,
                      std::vector<std::uint8_t>& rgb) {
    const auto w = static_cast<std::size_t>(width);
    const auto h = static_cast<std::size_t>(height);
    rgb.resize(w * h * 3);
    for (std::size_t y = 0; y < h; ++y) {
        const std::uint8_t* in = rgba + (h - 1 - y) * w * 4;
        std::uint8_t* out = rgb.data() + y * w * 3;
        for (std::size_t x = 0; x < w; ++x) {
            out[x * 3] = in[x * 4];
            out[x * 3 + 1] = in[x * 4 + 1];
            out[x * 3 + 2] = in[x * 4 + 2];
        }
    }
}
