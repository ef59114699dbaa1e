#include "gl/gl11.h"
#include "scenes/scenes.h"

#include <cmath>

namespace {

constexpr int points_per_row = 400;

// What point `k` of a row is, apart from the row's height: the same in all ten rows.
struct RowPoint {
    double x;      // k / 100 - 2
    float green;   // sin(k / 17)
    float blue;    // sin(k / 25)
    double ripple; // sin(k / 20 + 15 t) x swing x 0.5 + sin(k / 40)
};

} // namespace

void draw_wave_rows(double t) {
    const double swing = std::sin(t);

    RowPoint points[points_per_row];
    {
        int index = 0;
        for (float k = 0.0f; k < 400.0f; k += 1.0f, ++index) {
            const double kd = k;
            RowPoint& point = points[index];
            point.x = kd / 100 - 2;
            point.green = static_cast<float>(std::sin(kd / 17));
            point.blue = static_cast<float>(std::sin(kd / 25));
            point.ripple = std::sin(kd / 20 + 15 * t) * swing * 0.5 + std::sin(kd / 40);
        }
    }

    for (float row = 0.0f; row < 10.0f; row += 1.0f) {
        const double lift = static_cast<double>(row) / 10;
        for (const RowPoint& point : points) {
            glBegin(GL_POINTS);
            glColor3f(1.0f, point.green, point.blue);
            glVertex2d(point.x, (point.ripple + lift) * 0.5 - 0.2);
            glEnd();
        }
    }
}
