#include "tools/readings/frame_run.h"

#include "timeline/draw_frame.h"
#include "timeline/scene_clock.h"

std::size_t draw_readings(std::span<const long long> readings, const DisplayMode& mode,
                          DriftState& drift, const AfterFrame& after) {
    std::size_t drawn = 0;
    for (const long long reading : readings) {
        const SceneClock clock = scene_clock_from_ms(reading);
        draw_frame(clock.t, clock.t_f, mode, drift);
        ++drawn;
        if (after && !after(drawn - 1)) {
            break;
        }
    }
    return drawn;
}
