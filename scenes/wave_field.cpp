#include "gl/gl11.h"
#include "scenes/angles.h"
#include "scenes/scenes.h"

#include <cmath>

namespace {

constexpr int grid_size = 100;
// 4 pi / 3: the phase between the colour channels.
constexpr double channel_shift = 4.1887902047863905;

// Everything about one counter value (a column `i` or a row `j`) that stays the same across the
// other counter. The grid is square and both counters run 0.0 to 99.0, so one table serves both.
struct CounterTerms {
    double base;       // n / 50 - 1: the grid position
    double row_phase;  // (n / 6) x b: row part of the plasma sine
    double row_u_sq;   // (n / 40 + q) rounded to single, squared
    float col_h;       // 0.5 sin(n / 6 + t_f) + 0.5, rounded to single
    double col_g;      // (n / 6 rounded to single) x a
    double col_u_sq;   // (n / 40 + p) rounded to single, squared, rounded to single
    float wobble;      // wobble offset for this counter (0 up to 3.2 s)
    float ripple;      // 0.1 sin(n / 5 + t_f), rounded to single
    double drift_step; // (n - 50) / 100000
};

// The plasma value w of point (column, row): several interfering sines, rounded to single.
float plasma(const CounterTerms& col, const CounterTerms& row, double tf) {
    const float h =
        static_cast<float>(0.5 * std::sin(row.row_phase + col.col_g + tf) + 0.5 + col.col_h);
    const double v = (row.row_u_sq + col.col_u_sq) * 100 + 2 + tf; // never below 2
    return static_cast<float>(0.5 * std::sin(std::sqrt(v)) + 0.5 + h);
}

} // namespace

void draw_wave_field(double t, float t_f, DriftState& drift) {
    glBegin(GL_POINTS);

    const double tf = t_f;
    const double a = std::sin(0.5 * tf);
    const double b = std::cos(tf / 3);
    const double p = 1.5 * std::sin(tf / 5);
    const double q = 1.5 * b;
    const bool colour_early = 1.6 < t && t < 3.2;
    const bool colour_late = t > 3.2;
    const bool wobble_small = t > 4.8;
    const bool shearing = t > 7;
    const double swing = colour_late ? std::sin(10 * tf) : 0.0;

    CounterTerms terms[grid_size];
    {
        int index = 0;
        for (float n = 0.0f; n < 100.0f; n += 1.0f, ++index) {
            const double nd = n;
            CounterTerms& term = terms[index];
            term.base = nd / 50 - 1;
            term.row_phase = (nd / 6) * b;
            const float u_row = static_cast<float>(nd / 40 + q);
            term.row_u_sq = static_cast<double>(u_row) * u_row;
            const float c = static_cast<float>(nd / 6);
            term.col_h = static_cast<float>(0.5 * std::sin(nd / 6 + tf) + 0.5);
            term.col_g = c * a;
            const float u_col = static_cast<float>(nd / 40 + p);
            term.col_u_sq = static_cast<float>(static_cast<double>(u_col) * u_col);
            term.wobble = 0.0f;
            if (colour_late) {
                const double s = std::sin(nd / 35);
                term.wobble = static_cast<float>(swing * s / 6);
                if (wobble_small) {
                    term.wobble = static_cast<float>(swing * s * 0.125);
                }
            }
            term.ripple = static_cast<float>(0.1 * std::sin(nd / 5 + tf));
            term.drift_step = (nd - 50) / 100000;
        }
    }

    for (int ci = 0; ci < grid_size; ++ci) {
        const CounterTerms& col = terms[ci];
        for (int cj = 0; cj < grid_size; ++cj) {
            const CounterTerms& row = terms[cj];
            // The plasma value only colours the point: a red frame need not compute it.
            if (colour_early || colour_late) {
                const double angle = std::numbers::pi * plasma(col, row, tf);
                const float sine = static_cast<float>(std::sin(angle));
                const float cosine = static_cast<float>(std::cos(angle));
                const float shifted = static_cast<float>(std::sin(angle + channel_shift));
                if (colour_early) {
                    glColor3f(cosine, sine, shifted);
                } else {
                    glColor3f(sine, shifted, cosine);
                }
            }
            // The horizontal wobble follows the row, the vertical one the column.
            const float wobble_x = row.wobble;
            const float wobble_y = col.wobble;
            if (shearing) {
                drift.drift_x = static_cast<float>(drift.drift_x + col.drift_step);
                drift.drift_y = static_cast<float>(drift.drift_y + row.drift_step);
            }
            const double x = col.base + wobble_x + drift.drift_x + row.ripple;
            const double y = row.base + wobble_y + drift.drift_y + col.ripple;
            glVertex2d(x, y);
        }
    }

    glEnd();
}

void update_drift(DriftState& drift) {
    const double fall_step = 0.01f;
    const double creep_step = 0.0001f;
    drift.fall_speed = static_cast<float>(drift.fall_speed - fall_step);
    drift.drift_x = static_cast<float>(drift.drift_x - creep_step);
    drift.drift_y =
        static_cast<float>(static_cast<double>(drift.drift_y) + drift.fall_speed - creep_step);
}
