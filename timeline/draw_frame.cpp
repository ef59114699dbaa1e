#include "timeline/draw_frame.h"

#include "gl/gl11.h"
#include "scenes/scenes.h"

#include <cstdio>

void draw_frame(double t, float t_f, const DisplayMode& mode, DriftState& drift) {
    const double tf = t_f;

    glClear(GL_COLOR_BUFFER_BIT);
    glPushMatrix();
    glPointSize(10.0f);
    glEnable(GL_POINT_SMOOTH);
    // Scale first, so vertices are rotated before they are squeezed and flattened.
    glScaled(static_cast<double>(mode.height) / static_cast<double>(mode.width), 1.0, 0.0);
    if (8 < t && t < 12) {
        glRotatef(static_cast<float>(tf * 40), 1.0f, 0.0f, 1.0f);
    } else if (12 < t && t < 20) {
        glRotatef(static_cast<float>((tf - 20) * 140), 0.0f, 0.0f, 1.0f);
    } else if (20 < t && t < 40) {
        glRotatef(static_cast<float>((tf - 20) * 140), 1.0f, 1.0f, 1.0f);
    }

    std::printf("%f.", t);
    std::putchar('\n');

    glColor3f(1.0f, 0.0f, 0.0f);
    if (t < 8) {
        draw_wave_field(t, t_f, drift);
    }
    if (t > 7) {
        update_drift(drift);
    }
    glLineWidth(2.0f);
    if (8 < t && t < 12) {
        draw_line_rosettes(t);
    }
    if (12 < t && t < 20) {
        draw_ring_stack(t, t_f);
    }
    if (20 < t && t < 40) {
        draw_twin_clouds(t, t_f);
    }
    if (t > 58) {
        glPointSize(static_cast<float>((t - 58) * 200 + 10));
    }
    if (t > 40) {
        draw_wave_rows(t);
    }
    glPopMatrix();
}
