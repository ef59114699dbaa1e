#include "gl/portable/cull.h"

#include "gl/portable/limits.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace portable {
namespace {

// The clear bits of `row`'s 64-bit `word` that fall within pixels [left, right].
std::uint64_t clear_bits(const std::uint64_t* row, int word, int left, int right) {
    std::uint64_t clear = ~row[word];
    if (word == left / 64) {
        clear &= ~std::uint64_t{0} << (left % 64);
    }
    if (word == right / 64 && right % 64 != 63) {
        clear &= (std::uint64_t{1} << (right % 64 + 1)) - 1;
    }
    return clear;
}

// First (lowest) pixel in [left, right] of `row` whose bit is clear; -1 when all are set.
int first_clear(const std::uint64_t* row, int left, int right) {
    for (int word = left / 64; word <= right / 64; ++word) {
        const std::uint64_t clear = clear_bits(row, word, left, right);
        if (clear != 0) {
            return word * 64 + std::countr_zero(clear);
        }
    }
    return -1;
}

// Last (highest) pixel in [left, right] of `row` whose bit is clear; -1 when all are set.
int last_clear(const std::uint64_t* row, int left, int right) {
    for (int word = right / 64; word >= left / 64; --word) {
        const std::uint64_t clear = clear_bits(row, word, left, right);
        if (clear != 0) {
            return word * 64 + 63 - std::countl_zero(clear);
        }
    }
    return -1;
}

void set_bits(std::uint64_t* row, int left, int right) {
    for (int word = left / 64; word <= right / 64; ++word) {
        std::uint64_t bits = ~std::uint64_t{0};
        if (word == left / 64) {
            bits &= ~std::uint64_t{0} << (left % 64);
        }
        if (word == right / 64 && right % 64 != 63) {
            bits &= (std::uint64_t{1} << (right % 64 + 1)) - 1;
        }
        row[word] |= bits;
    }
}

// Pixels whose centres lie within sqrt(reach_sq) of `centre` on a row, as a pixel range; false
// when none does.
bool row_span(float centre, float reach_sq, float grow, int width, int* left, int* right) {
    if (reach_sq < 0.0f) {
        return false;
    }
    const float reach = std::sqrt(reach_sq) + grow;
    if (reach < 0.0f) {
        return false;
    }
    *left = std::max(0, static_cast<int>(std::ceil(centre - reach - 0.5f)));
    *right = std::min(width - 1, static_cast<int>(std::floor(centre + reach - 0.5f)));
    return *left <= *right;
}

// Resets the bands [first_band, last_band] to empty.
void reset_bands(Culling& c, int first_band, int last_band, int width, int height) {
    for (int band = first_band; band <= last_band; ++band) {
        const auto b = static_cast<std::size_t>(band);
        c.band_left[b] = width;
        c.band_right[b] = -1;
        c.band_bottom[b] = height;
        c.band_top[b] = -1;
    }
}

// Appends the bands [first_band, last_band] of round point `point` that may still show to
// c.visible, top first and each with its corners reversed: the whole list is reversed at the end,
// which restores both orders.
void append_bands(Culling& c, const PortableVertex* point, int first_band, int last_band) {
    for (int band = last_band; band >= first_band; --band) {
        const auto b = static_cast<std::size_t>(band);
        if (c.band_right[b] < 0) {
            continue;
        }
        const float x0 = static_cast<float>(c.band_left[b]);
        const float x1 = static_cast<float>(c.band_right[b] + 1);
        const float y0 = static_cast<float>(c.band_bottom[b]);
        const float y1 = static_cast<float>(c.band_top[b] + 1);
        const float xs[4] = {x0, x1, x1, x0};
        const float ys[4] = {y0, y0, y1, y1};
        for (int corner = 3; corner >= 0; --corner) {
            PortableVertex v = *point;
            v.x = xs[corner];
            v.y = ys[corner];
            c.visible.push_back(v);
        }
    }
}

// The visible bands of one round point (its first corner `point`), appended to c.visible.
void cull_point(Culling& c, const PortableVertex* point, int width, int height) {
    const float cx = point->centre_x;
    const float cy = point->centre_y;
    const float radius_sq = point->radius_sq;
    const float slack_sq = cull_slack_sq + cull_slack_sq_per_radius_sq * radius_sq;
    const float reach = std::sqrt(radius_sq + slack_sq) + cull_slack;
    const int bottom = std::max(0, static_cast<int>(std::ceil(cy - reach - 0.5f)));
    const int top = std::min(height - 1, static_cast<int>(std::floor(cy + reach - 0.5f)));
    if (bottom > top) {
        return;
    }
    const int first_band = bottom / cull_band_rows;
    const int last_band = top / cull_band_rows;
    reset_bands(c, first_band, last_band, width, height);
    for (int row = bottom; row <= top; ++row) {
        std::uint64_t* bits = &c.covered[static_cast<std::size_t>(row) * c.covered_words];
        const float dy = static_cast<float>(row) + 0.5f - cy;
        const float left_sq = radius_sq - dy * dy;
        int left = 0, right = 0;
        if (row_span(cx, left_sq + slack_sq, cull_slack, width, &left, &right)) {
            const int first = first_clear(bits, left, right);
            if (first >= 0) {
                const auto band = static_cast<std::size_t>(row / cull_band_rows);
                c.band_left[band] = std::min(c.band_left[band], first);
                c.band_right[band] = std::max(c.band_right[band], last_clear(bits, left, right));
                c.band_bottom[band] = std::min(c.band_bottom[band], row);
                c.band_top[band] = std::max(c.band_top[band], row);
            }
        }
        if (row_span(cx, left_sq - slack_sq, -cull_slack, width, &left, &right)) {
            set_bits(bits, left, right);
        }
    }
    append_bands(c, point, first_band, last_band);
}

} // namespace

void cull_large_points(Culling& c, std::vector<PortableVertex>& quads, int width, int height) {
    c.covered_words = (static_cast<std::size_t>(width) + 63) / 64;
    c.covered.assign(c.covered_words * static_cast<std::size_t>(height), 0);
    const std::size_t bands = static_cast<std::size_t>(height / cull_band_rows + 1);
    c.band_left.resize(bands);
    c.band_right.resize(bands);
    c.band_bottom.resize(bands);
    c.band_top.resize(bands);
    c.visible.clear();
    for (std::size_t end = quads.size(); end > 0; end -= portable_vertices_per_quad) {
        const PortableVertex* quad = &quads[end - portable_vertices_per_quad];
        if (quad->radius_sq >= 0.0f) {
            cull_point(c, quad, width, height);
        } else {
            for (int corner = portable_vertices_per_quad - 1; corner >= 0; --corner) {
                c.visible.push_back(quad[corner]);
            }
        }
    }
    std::reverse(c.visible.begin(), c.visible.end());
    quads.swap(c.visible);
}

} // namespace portable
